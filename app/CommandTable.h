#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

// Every command of the menus and the toolbar, declared once: its id, menu
// text, shortcuts, status-bar prompt and tooltip, and toolbar image. The main
// frame builds its actions, menus and toolbar from this table.
struct CommandInfo
{
    int nId;
    const char* pszMenuText;   // with '&' mnemonics and "\t" shortcut text as shown
    const char* pszPrompt;     // status-bar prompt
    const char* pszTooltip;    // tooltip (may be empty)
    const char* pszIcon;       // toolbar image resource, or nullptr
    QList<QKeySequence> shortcuts;
};

const QList<CommandInfo>& CommandTable();
const CommandInfo* FindCommand(int nId);

// Toolbar 128: command ids in button order, 0 for a separator.
const QList<int>& ToolbarLayout();
