#pragma once

#include <QString>

// The window-level commands of the main window's toolbar and menu. Toolbar
// buttons carry a one-letter key; the command follows the key, never the
// button's position.
namespace MainCommands {

enum class Command { None, WebSite, About, Quit };

// "A" (open a .hex file) and "B" (software update) have no action in this
// version, like any unknown key.
Command forKey(const QString &key);

} // namespace MainCommands
