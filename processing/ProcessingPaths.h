#pragma once

#include <QString>

// Path rules shared by the four restorations.
namespace processingpaths {

// The path a dialog proposes: the remembered one when it is not empty,
// otherwise the image path without its last four characters (whatever they
// are; nothing when the path is shorter) followed by strSuffix and ".jpg".
// ProposePath("/photos/portrait.jpg", "", "_BLOTCH") == "/photos/portrait_BLOTCH.jpg"
QString ProposePath(const QString& strImagePath, const QString& strRemembered, const QString& strSuffix);

// The parameter file lies beside the output image: the output path up to and
// including its last '/' (nothing if it has none), then strFileName.
// ParamFilePath("/photos/portrait_BLOTCH.jpg", "blotch.log") == "/photos/blotch.log"
QString ParamFilePath(const QString& strOutputPath, const QString& strFileName);

} // namespace processingpaths
