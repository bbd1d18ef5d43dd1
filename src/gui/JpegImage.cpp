#include "gui/JpegImage.h"

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <csetjmp>
#include <jpeglib.h>
// clang-format on

#include <string>

namespace gui {
namespace {

// Pictures larger than this are refused before any pixel memory is asked for; the program only
// shows small pictures, and a forged header could otherwise ask for gigabytes.
constexpr JDIMENSION kMaxSide = 8192;

// libjpeg reports a fatal error by calling error_exit, which must not return. Throwing through
// libjpeg's C frames is not safe, so error_exit records the message and longjmps back to the one
// setjmp in RunStep; only libjpeg's frames and a Step with trivially destructible locals lie
// between the two.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings (msg_level -1) mean the data is corrupt; treat them as fatal. Trace messages
// (msg_level >= 0) are ignored.
void EmitMessage(j_common_ptr cinfo, int msg_level) {
    if (msg_level < 0) {
        ErrorExit(cinfo);
    }
}

// The decompressor and its error manager; destroying it releases everything libjpeg allocated,
// also after a failure in the middle of decoding.
class Decompressor {
public:
    Decompressor() {
        info_.err = jpeg_std_error(&err_.pub);
        err_.pub.error_exit = ErrorExit;
        err_.pub.emit_message = EmitMessage;
        err_.message[0] = '\0';
        created_ = RunStep([](Decompressor& d) { jpeg_create_decompress(&d.info_); });
    }
    ~Decompressor() {
        if (created_) {
            jpeg_destroy_decompress(&info_);
        }
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    using Step = void (*)(Decompressor&);

    // Runs one step of libjpeg calls; false when libjpeg reported an error during it.
    bool RunStep(Step step) {
        if (setjmp(err_.jump) != 0) {
            return false;
        }
        step(*this);
        return true;
    }

    // Runs a step or throws JpegError with libjpeg's message.
    void Run(Step step) {
        if (!created_ || !RunStep(step)) {
            throw JpegError(std::string("JPEG: ") + err_.message);
        }
    }

    jpeg_decompress_struct info_{};
    const unsigned char* input_ = nullptr;
    unsigned long input_size_ = 0;
    unsigned char* out_bits_ = nullptr;
    std::size_t out_stride_ = 0;

private:
    ErrorManager err_{};
    bool created_ = false;
};

}  // namespace

QImage DecodeJpeg(QByteArrayView bytes) {
    Decompressor d;
    d.input_ = reinterpret_cast<const unsigned char*>(bytes.data());
    d.input_size_ = static_cast<unsigned long>(bytes.size());

    d.Run([](Decompressor& s) {
        jpeg_mem_src(&s.info_, s.input_, s.input_size_);
        jpeg_read_header(&s.info_, TRUE);
        s.info_.out_color_space = JCS_RGB;
    });
    if (d.info_.image_width > kMaxSide || d.info_.image_height > kMaxSide) {
        throw JpegError("JPEG: picture too large (" + std::to_string(d.info_.image_width) + " x " +
                        std::to_string(d.info_.image_height) + ")");
    }
    d.Run([](Decompressor& s) { jpeg_start_decompress(&s.info_); });

    QImage image(static_cast<int>(d.info_.output_width), static_cast<int>(d.info_.output_height),
                 QImage::Format_RGB888);
    if (image.isNull()) {
        throw JpegError("JPEG: out of memory for the picture");
    }
    d.out_bits_ = image.bits();
    d.out_stride_ = static_cast<std::size_t>(image.bytesPerLine());
    d.Run([](Decompressor& s) {
        while (s.info_.output_scanline < s.info_.output_height) {
            JSAMPROW row = s.out_bits_ + s.info_.output_scanline * s.out_stride_;
            jpeg_read_scanlines(&s.info_, &row, 1);
        }
        jpeg_finish_decompress(&s.info_);
    });
    return image;
}

}  // namespace gui
