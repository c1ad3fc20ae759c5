#pragma once

#include <QString>

// Path rules shared by the four restorations.
namespace processingpaths {

// The path a dialog proposes: the remembered one when it is not empty,
// otherwise one beside the image, named after it with strSuffix ("_BLOTCH",
// "_mask", ...) before a picture suffix the engine can write. The image's own
// suffix is kept when it is one of those (".jpg", ".jpeg", ".tif", ".tiff",
// ".png", in small letters); a name with another suffix or none keeps all of
// its name and gets the suffix of the format the file holds (".jpg" when it
// cannot be read).
// ProposePath("/photos/portrait.jpeg", "", "_BLOTCH") == "/photos/portrait_BLOTCH.jpeg"
// ProposePath("/scans/page", "", "_FOX") == "/scans/page_FOX.tif" for a TIFF file
QString ProposePath(const QString& strImagePath, const QString& strRemembered, const QString& strSuffix);

// The parameter file lies beside the output image: the output path up to and
// including its last '/' (nothing if it has none), then strFileName.
// ParamFilePath("/photos/portrait_BLOTCH.jpg", "blotch.log") == "/photos/blotch.log"
QString ParamFilePath(const QString& strOutputPath, const QString& strFileName);

// Why strPath cannot serve as a dialog's file (strRole: "the blotch mask",
// "the output"): it exists but is a folder, a named pipe, a device... Empty
// when it is a regular file or does not exist.
// "Cannot use /tmp as the output: it is a folder, not a file."
QString NonRegularFileMessage(const QString& strPath, const QString& strRole);

} // namespace processingpaths
