// The file stamp: the text by which a backup run tells whether a file or
// folder changed since it was last stored. It is made of the last-write time
// in UTC to the millisecond, the attributes and the size,
//
//   "%d%02d%02d%02d%02d%02d%03d-%d-%d"
//
// so a file last written on 15 March 2009 at 14:30:25.120 UTC with
// attributes 32 (archive) and 10,240 bytes has the stamp
// "20090315143025120-32-10240". The main program and the service make it
// with the same routine, and the cache database keeps it, so the text is a
// stored format: the attributes and the low 32 bits of the size print as
// signed decimals (a size of 2 GB or more may print negative, and a failed
// attribute query prints -1).
#ifndef BRINDLEWOX_ENGINE_FILESTAMP_H
#define BRINDLEWOX_ENGINE_FILESTAMP_H

#include "foundation/Base.h"
#include "foundation/String.h"

// The stamp text of a last-write time (UTC, as FileTimeToSystemTime gives
// it, no time-zone conversion), the attributes and the low 32 bits of the
// size.
CString FormatFileStamp(const SYSTEMTIME& lastWriteUtc, DWORD attributes, DWORD sizeLow);

// The stamp of a file's own record: its attributes, the low 32 bits of its
// size and its last-write time. False, with `stamp` untouched, when the time
// cannot be converted.
bool FormatFileRecordStamp(DWORD attributes, DWORD sizeLow, const FILETIME& lastWrite,
                           CString& stamp);

// Stamps a file or a folder from its own record (GetFileAttributesExA),
// without opening it: a file that another program holds open, even for
// itself alone, is stamped all the same, and a folder's size reads 0. The
// record is the file's own, never a folder listing's copy of it (on NTFS a
// directory entry's size and time lag behind while a writer holds the file
// open, so a stamp from a listing could miss a change). False, with `stamp`
// untouched, when the record cannot be read (a missing path included).
// Works from any thread.
bool MakeFileStamp(const char* path, CString& stamp);

#endif
