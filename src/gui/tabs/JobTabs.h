#pragma once

#include "collect/FileCollector.h"

#include <QList>
#include <QTabWidget>

class Controls;
class DeleteTab;
class QPushButton;
class HeaderFooterTab;
class MultiTextTab;
class QRadioButton;
class RenameTab;
class SingleTextTab;

// SSTab1: the five tabs, one per family of jobs, the first one shown.
class JobTabs final : public QTabWidget
{
    Q_OBJECT
public:
    explicit JobTabs(Controls& controls, QWidget* parent = nullptr);

    SingleTextTab* singleText = nullptr;
    HeaderFooterTab* headerFooter = nullptr;
    DeleteTab* deleteFiles = nullptr;
    RenameTab* rename = nullptr;
    MultiTextTab* multiText = nullptr;

    // The engine and unlock options of every tab: Option1 to Option4, Option7,
    // Option9, Option10, Option11.
    QList<QRadioButton*> options() const;
    // The options and pattern boxes as the folder list's collection reads them.
    CollectOptions collectOptions() const;
    // The commands a collection enables when it finds documents (Command1,
    // Command3, Command7), and workbooks (Command2, Command8).
    QList<QPushButton*> documentCommands() const;
    QList<QPushButton*> workbookCommands() const;
};
