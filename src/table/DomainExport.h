#pragma once

#include <string>
#include <string_view>

#include "table/DomainTable.h"
#include "table/StagingMemo.h"

namespace table {

// Nine blanks between the Domain and the Filing number of a full export line.
inline constexpr std::string_view ExportSeparator{"         "};

// What an export takes from the table and how it writes each row.
enum class ExportKind {
    AllRows,         // every row, as a full line: Domain, ExportSeparator, Filing number
    FiledRows,       // rows whose Filing number is not exactly NotFiledMark, as full lines
    UnfiledDomains,  // rows whose Filing number is exactly NotFiledMark, their Domain alone
};

// Appends one memo line per row taken, in table order. The whole pass runs under the table's
// lock, so every row is read once and the lines show the table as it stood at one moment.
void BuildExportLines(const DomainTable& table, ExportKind kind, StagingMemo& memo);

// Writes text to the file named fileName (the system's own file name bytes, used exactly as
// given: no extension is added).
//
// A regular file is replaced only once all of the new text is safely written: the text goes to
// a new file in the same folder, is flushed to disk and then renamed over the target, which
// keeps its permissions (and owner where the system allows). If anything fails, the new file
// is removed and an existing target stays exactly as it was. A name that is a symbolic link
// replaces the file the link points to. Should the folder not take a new file while the
// target itself is writable, the target is rewritten in place.
//
// A name that is not a regular file (a device such as /dev/null or /dev/full, a pipe with a
// reader) is written directly, since there is nothing to replace.
//
// Throws FileError ("Cannot create file ...") when the file cannot be created or an existing
// one cannot be written (missing folder, read-only file or file system, no permission, a
// folder), and StreamWriteError when writing fails after that (a full disk).
void WriteExportFile(const std::string& fileName, std::string_view text);

}  // namespace table
