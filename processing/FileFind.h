#pragma once

#include <QString>

// Whether a path names something on disk, as a directory search sees it.
namespace filefind {

// True when strPath names an existing entry (a file, a folder, or a link,
// even one that points nowhere), or when its last component holds '*' or
// '?' and matches at least one entry of its directory ('*' any run of
// characters, '?' exactly one; letter case counts; "." and ".." never
// match). Wildcards in earlier components are taken literally. An empty
// path is never found.
bool FindFile(const QString& strPath);

// The matching rule for one name: '*' and '?' as above, every other
// character stands for itself.
bool MatchesPattern(const QString& strName, const QString& strPattern);

} // namespace filefind
