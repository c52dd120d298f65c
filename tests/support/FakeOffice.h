#pragma once

#include "office/OfficeRegistry.h"

#include <QMap>
#include <QSet>
#include <QStringList>
#include <memory>

// An office program in memory, behind both interfaces: documents with a body,
// text boxes and sections with headers and footers (and their text boxes);
// workbooks with named sheets of cells. "Files" live in the maps by path;
// changes reach them only through save() (documents) or close(true) (workbooks).
// Every call that matters to a job is recorded in `calls`.
class FakeOffice final : public OfficeRegistry
{
public:
    struct Story
    {
        QString text;
    };
    struct HeaderFooter
    {
        Story range;
        QList<Story> shapes;
    };
    struct Section
    {
        HeaderFooter header, footer;
    };
    struct DocumentFile
    {
        Story body;
        QList<Story> shapes;
        QList<Section> sections{Section{}};
        bool failSave = false; // e.g. read-only; a file not in the map cannot be opened
        int saves = 0;
    };
    struct Sheet
    {
        QString name;
        QMap<QPair<int, int>, QString> cells;
        int rows = 1048576;
        int columns = 16384;
        bool protectedContents = false;
    };
    struct WorkbookFile
    {
        QList<Sheet> sheets;
        bool failSave = false;
        int saves = 0;
    };

    QMap<QString, DocumentFile> documents;
    QMap<QString, WorkbookFile> workbooks;
    // Identifiers that can be created, lower case.
    QSet<QString> registered{"word.application", "excel.application"};
    // How a spreadsheet program answers the environment probes, by identifier in
    // lower case; one not listed answers as Excel 2016 does.
    struct SpreadsheetProgram
    {
        QString defaultValue = "Microsoft Excel";
        QString version = "16.0";
        QString standIn;
        int versionFailure = 0; // Version throws this number when not 0
    };
    QMap<QString, SpreadsheetProgram> spreadsheetPrograms;
    // A creation failure other than "cannot create", by identifier in lower case.
    QMap<QString, int> createFailures;
    int spreadsheetsReleased = 0;
    QStringList calls;
    // Calls, as `calls` records them ("open /d/b.doc", "create word.Application"),
    // that throw a raw std::runtime_error: a fault inside an engine.
    QStringList throwStd;

    word::ApplicationPtr createWordProcessor(const QString& progId) override;
    sheet::ApplicationPtr createSpreadsheet(const QString& progId) override;
};
