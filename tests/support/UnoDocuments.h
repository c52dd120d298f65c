#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <tuple>

// Makes real office files for the tests, through LibreOffice itself.
namespace UnoDocuments {

struct WordContent
{
    QStringList body;      // paragraphs of the first section
    QStringList textBoxes; // text boxes anchored in the body
    QStringList headers;   // one per section (three sections when three are given)
    QStringList footers;   // as many as headers
    QString headerTextBox; // a text box in the first section's header, when not empty
};

// Writes a .doc or .docx (by the path's extension). With a password, encrypted.
void writeDocument(const QString& path, const WordContent& content, const QString& password = QString());

// Writes a .xls or .xlsx with one sheet per entry: name and cells (row, column, text; 1-based).
struct SheetContent
{
    QString name;
    QList<std::tuple<int, int, QString>> cells;
    bool protectedSheet = false; // protected without a password
};
void writeWorkbook(const QString& path, const QList<SheetContent>& sheets);

// What a user sees: the file opened and exported as PDF (every sheet of a workbook).
void exportPdf(const QString& path, const QString& pdf);

// Ends the LibreOffice that made the files.
void shutdown();

} // namespace UnoDocuments
