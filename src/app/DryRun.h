#pragma once

#include <QString>
#include <array>

// A run that changes nothing: the engines that can count what they would
// replace count it per file and scope, and save nothing.
namespace DryRun {

enum class Scope { Body, TextBoxes, Headers, Footers, Sheets };
using Counts = std::array<int, 5>;

bool active();
void setActive(bool active);

// n more replacements in path's scope.
void count(const QString& path, Scope scope, int n);
// What path counted (nothing: zeros), and forgets it.
Counts take(const QString& path);

// A file's line after its path: " 预览：正文 N 处，文本框 N 处，页眉 N 处，页脚 N 处" for a
// document, " 预览：工作表 N 处" for a workbook.
QString lineText(const Counts& counts, bool workbook);

} // namespace DryRun
