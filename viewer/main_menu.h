#pragma once
// The window's menu bar: the registry's actions arranged in menus.
#include <QString>

class QMenuBar;
class TActionRegistry;

// Help > About's text.
QString AboutText();

// Fills bar with the menus and their items.
void BuildMenuBar(QMenuBar& bar, const TActionRegistry& actions);
