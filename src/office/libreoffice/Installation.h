#pragma once

#include <QString>

// Where LibreOffice is installed and which version it is, read from the
// installation itself (no office process needed).
namespace LibreOfficeInstallation {

// The folder holding soffice.bin and types.rdb: $YANHE_LIBREOFFICE_PROGRAM,
// else the folder of soffice on PATH, else the usual install folders. Empty
// when there is none.
QString programFolder();

// "7.4" for LibreOffice 7.4.7.2; empty when unknown.
QString version(const QString& programFolder);

} // namespace LibreOfficeInstallation
