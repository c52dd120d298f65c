#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Reads documents back through LibreOffice as a user would see them, with an
// interaction handler that records every question the load asks (a repair
// prompt, a password) instead of answering it.
namespace UnoReadBack {

struct Document
{
    bool loaded = false;
    QStringList requests; // the questions asked while loading
    QString body;
    QStringList headers; // every header and footer text of every page style, sorted, without repeats
    QStringList footers;
    QStringList frames; // the text frames' texts, sorted
};
Document readDocument(const QString& path);

struct Sheet
{
    QString name;
    QStringList cells; // "R3C2=text" for each cell of the used area that shows text
};
struct Workbook
{
    bool loaded = false;
    QStringList requests;
    QList<Sheet> sheets;
};
Workbook readWorkbook(const QString& path);

// Stores a copy of the document in another format (filter: "MS Word 97" ...).
bool saveAs(const QString& path, const QString& target, const QString& filter);

// The pages' text through LibreOffice's PDF export and pdftotext, one entry per page.
QStringList pages(const QString& path);

// Ends the LibreOffice that reads the files (UnoDocuments' too).
void shutdown();

} // namespace UnoReadBack
