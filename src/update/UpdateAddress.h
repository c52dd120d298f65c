#pragma once

#include <QString>

// The update address as toconfigure/mysql.ini stores it: not plain text, so that
// a casual edit does not point the tool elsewhere. Each UTF-8 byte is mixed with
// a rolling key and the result written as upper-case hex on one line.
namespace UpdateAddress {

// The address the tool ships with (the carried mysql.ini holds it scrambled).
QString defaultAddress();

QString scramble(const QString& address);
// The address of one stored line; empty for a line that is not a scrambled address.
QString unscramble(const QString& line);

} // namespace UpdateAddress
