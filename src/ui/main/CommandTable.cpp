#include "CommandTable.h"

#include <array>

#include "frmMain.h"

namespace tarnwick {

namespace {

using K = MenuEntry::Kind;

MenuEntry menu(const char* name, const char* caption, QMenu* frmMain::*member) {
    return {.kind = K::Menu, .name = name, .caption = caption, .menu = member};
}

MenuEntry separator(const char* name, QAction* frmMain::*member, bool visible = true) {
    return {.kind = K::Separator, .name = name, .visible = visible, .action = member};
}

// A placeholder item: its message names its handler.
MenuEntry placeholder(const char* name, const char* caption, QAction* frmMain::*member,
                      const char* message, const char* shortcut = "") {
    return {.kind = K::Item,
            .name = name,
            .caption = caption,
            .shortcut = shortcut,
            .action = member,
            .message = message};
}

MenuEntry command(const char* name, const char* caption, QAction* frmMain::*member,
                  void (frmMain::*handler)() = nullptr, bool checkable = false) {
    return {.kind = K::Item,
            .name = name,
            .caption = caption,
            .checkable = checkable,
            .action = member,
            .command = handler};
}

MenuEntry hiddenMru(const char* name) { return {.kind = K::Item, .name = name, .visible = false}; }

}  // namespace

std::span<const MenuEntry> frmMain::menuTable() {
    static const std::array kTable{
        menu("mnuFile", "&File", &frmMain::mnuFile),
        placeholder("mnuFileNew", "&New", &frmMain::mnuFileNew, "Add 'mnuFileNew_Click' code.",
                    "Ctrl+N"),
        command("mnuFileOpen", "&Open...", &frmMain::mnuFileOpen, &frmMain::mnuFileOpen_Click),
        placeholder("mnuFileClose", "&Close", &frmMain::mnuFileClose,
                    "Add 'mnuFileClose_Click' code."),
        separator("mnuFileBar0", &frmMain::mnuFileBar0),
        placeholder("mnuFileSave", "&Save", &frmMain::mnuFileSave, "Add 'mnuFileSave_Click' code."),
        placeholder("mnuFileSaveAs", "Save &As...", &frmMain::mnuFileSaveAs,
                    "Add 'mnuFileSaveAs_Click' code."),
        placeholder("mnuFileSaveAll", "Save A&ll", &frmMain::mnuFileSaveAll,
                    "Add 'mnuFileSaveAll_Click' code."),
        separator("mnuFileBar1", &frmMain::mnuFileBar1),
        placeholder("mnuFileProperties", "Propert&ies", &frmMain::mnuFileProperties,
                    "Add 'mnuFileProperties_Click' code."),
        separator("mnuFileBar2", &frmMain::mnuFileBar2),
        command("mnuFilePageSetup", "Page Set&up...", &frmMain::mnuFilePageSetup,
                &frmMain::mnuFilePageSetup_Click),
        placeholder("mnuFilePrintPreview", "Print Pre&view", &frmMain::mnuFilePrintPreview,
                    "Add 'mnuFilePrintPreview_Click' code."),
        placeholder("mnuFilePrint", "&Print...", &frmMain::mnuFilePrint,
                    "Add 'mnuFilePrint_Click' code."),
        separator("mnuFileBar3", &frmMain::mnuFileBar3),
        placeholder("mnuFileSend", "Sen&d...", &frmMain::mnuFileSend,
                    "Add 'mnuFileSend_Click' code."),
        separator("mnuFileBar4", &frmMain::mnuFileBar4),
        hiddenMru("mnuFileMRU1"),
        hiddenMru("mnuFileMRU2"),
        hiddenMru("mnuFileMRU3"),
        separator("mnuFileBar5", &frmMain::mnuFileBar5, false),
        command("mnuFileExit", "E&xit", &frmMain::mnuFileExit, &frmMain::mnuFileExit_Click),

        menu("mnuEdit", "&Edit", &frmMain::mnuEdit),
        placeholder("mnuEditUndo", "&Undo", &frmMain::mnuEditUndo, "Add 'mnuEditUndo_Click' code."),
        separator("mnuEditBar0", &frmMain::mnuEditBar0),
        placeholder("mnuEditCut", "Cu&t", &frmMain::mnuEditCut, "Add 'mnuEditCut_Click' code.",
                    "Ctrl+X"),
        placeholder("mnuEditCopy", "&Copy", &frmMain::mnuEditCopy, "Add 'mnuEditCopy_Click' code.",
                    "Ctrl+C"),
        placeholder("mnuEditPaste", "&Paste", &frmMain::mnuEditPaste,
                    "Add 'mnuEditPaste_Click' code.", "Ctrl+V"),
        placeholder("mnuEditPasteSpecial", "Paste &Special...", &frmMain::mnuEditPasteSpecial,
                    "Add 'mnuEditPasteSpecial_Click' code."),

        menu("mnuView", "&View", &frmMain::mnuView),
        command("mnuViewToolbar", "&Toolbar", &frmMain::mnuViewToolbar,
                &frmMain::showToolbarAsChecked, true),
        command("mnuViewStatusBar", "Status &Bar", &frmMain::mnuViewStatusBar,
                &frmMain::showStatusBarAsChecked, true),
        separator("mnuViewBar0", &frmMain::mnuViewBar0),
        placeholder("mnuViewRefresh", "&Refresh", &frmMain::mnuViewRefresh,
                    "Add 'mnuViewRefresh_Click' code."),
        placeholder("mnuViewOptions", "&Options...", &frmMain::mnuViewOptions,
                    "Add 'mnuViewOptions_Click' code."),
        command("mnuViewWebBrowser", "&Web Browser", &frmMain::mnuViewWebBrowser),

        menu("mnuHelp", "&Help", &frmMain::mnuHelp),
        command("mnuHelpContents", "&Contents", &frmMain::mnuHelpContents,
                &frmMain::mnuHelpContents_Click),
        command("mnuHelpSearchForHelpOn", "&Search For Help On...",
                &frmMain::mnuHelpSearchForHelpOn, &frmMain::mnuHelpSearchForHelpOn_Click),
        separator("mnuHelpBar0", &frmMain::mnuHelpBar0),
        command("mnuHelpAbout", "&About ", &frmMain::mnuHelpAbout, &frmMain::mnuHelpAbout_Click),
    };
    return kTable;
}

std::span<const ToolbarEntry> frmMain::toolbarTable() {
    static const std::array<ToolbarEntry, 17> kTable{{
        {.key = "New", .message = "Add 'New' button code."},
        {.key = "Open", .menuItem = &frmMain::mnuFileOpen},
        {.key = "Save", .menuItem = &frmMain::mnuFileSave},
        {.key = ""},
        {.key = "Print", .menuItem = &frmMain::mnuFilePrint},
        {.key = ""},
        {.key = "Cut", .menuItem = &frmMain::mnuEditCut},
        {.key = "Copy", .menuItem = &frmMain::mnuEditCopy},
        {.key = "Paste", .menuItem = &frmMain::mnuEditPaste},
        {.key = ""},
        {.key = "Bold", .message = "Add 'Bold' button code."},
        {.key = "Italic", .message = "Add 'Italic' button code."},
        {.key = "Underline", .message = "Add 'Underline' button code."},
        {.key = ""},
        {.key = "Align Left", .grouped = true, .message = "Add 'Align Left' button code."},
        {.key = "Center", .grouped = true, .message = "Add 'Center' button code."},
        {.key = "Align Right", .grouped = true, .message = "Add 'Align Right' button code."},
    }};
    return kTable;
}

}  // namespace tarnwick
