#pragma once

#include <QByteArrayView>
#include <QImage>
#include <stdexcept>

namespace gui {

// A JPEG that libjpeg could not decode: what() is libjpeg's own message.
class JpegError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Decodes a JPEG held in memory (e.g. a resource's bytes) into an RGB888 image of the picture's
// own size. Corrupt data is refused rather than shown half grey: libjpeg's warnings about the
// data (premature end, bad Huffman code, ...) count as failures too. Throws JpegError.
QImage DecodeJpeg(QByteArrayView bytes);

}  // namespace gui
