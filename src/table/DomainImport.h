#pragma once

#include <string>

#include "table/DomainTable.h"
#include "table/StagingMemo.h"

namespace table {

// Reads every byte of the file named fileName (a path in the system's own file name bytes)
// as it is: no byte-order mark is looked for and no code page is converted.
//
// The read never waits: the file is opened non-blocking, so a pipe or a device gives the bytes
// that are waiting in it at that moment (an empty pipe with no writer gives nothing). Reading
// stops at the first zero byte, where the memo's text ends anyway, and the bytes end before it;
// this also bounds a read of /dev/zero or /dev/urandom.
//
// Throws FileError ("Cannot open file ...") when the file cannot be opened or read (a missing
// file, a folder, no permission) and MemoCapacityExceeded for a file larger than the memo's
// capacity, which is refused before it is read.
std::string ReadDomainFile(const std::string& fileName);

// The import's memo steps: clears the memo, then loads the file's bytes into it. The memo keeps
// the text afterwards; its Lines() are the Domains of the rows to append.
void LoadDomainFile(const std::string& fileName, StagingMemo& memo);

// LoadDomainFile, then appends one row per memo line to the table (numbered from 1).
void ImportDomainFile(const std::string& fileName, StagingMemo& memo, DomainTable& table);

}  // namespace table
