#pragma once

#include "DumpText.h"
#include "Fichiers.h"

#include <cstdint>
#include <vector>

// The two editable hex dumps of the memory images (Fichiers::ProgWords and
// friends): the program-memory view Rt1 and the EEPROM view Rt2, their
// shared state and their key rules. No widgets; a HexDumpView shows one of
// the two texts and forwards its events to the Rt1_* / Rt2_* handlers.
//
// Typical use by the main window:
//     editors.StartUp();                       // once, in the load sequence
//     new HexDumpView(&editors, MemoryEditors::View::Flash, Frame9);
//
// Every handler runs to completion on the UI thread. An edit that would
// reach an image cell outside 0..8191 / 0..255 is refused as a whole: text,
// caret, CurrentCell and images stay as they were and the routine returns
// false.
class MemoryEditors
{
public:
    enum class View { Flash, Eeprom };

    MemoryEditors();
    MemoryEditors(const MemoryEditors &) = delete;
    MemoryEditors &operator=(const MemoryEditors &) = delete;

    // Start-up of both views, in order: undefine the program image, build
    // its dump, measure FlashLineLength; the same for the EEPROM; ASCII-entry
    // mode off. The image values themselves are left as they are.
    void StartUp();

    DumpText &Rt1() { return flash_; }
    DumpText &Rt2() { return eeprom_; }
    const DumpText &Rt1() const { return flash_; }
    const DumpText &Rt2() const { return eeprom_; }
    DumpText &text(View view) { return view == View::Flash ? flash_ : eeprom_; }

    std::int16_t CurrentCell() const { return currentCell_; }
    void setCurrentCell(std::int16_t cell) { currentCell_ = cell; }
    Fichiers::Boolean16 EepromAsciiMode() const { return eepromAsciiMode_; }
    std::int16_t FlashLineLength() const { return flashLineLength_; }
    std::int16_t EepromLineLength() const { return eepromLineLength_; }

    // Whole-dump rebuilds from the images; the caret ends at 0.
    void FeelFlash();
    void FeelEeprom();
    // Rewrite the ASCII character of cell CurrentCell; false when that
    // index lies outside the image.
    bool SetAscii();
    bool SetAsciieeprom();

    // Put the caret where an edit may happen: on a hex digit of the Data
    // region; for the EEPROM view in ASCII-entry mode, in the ASCII column.
    void AdjustFlashCaret();
    void AdjustEepromCaret();
    // Complete the cell at the caret (dashes become zeros), parse it and
    // store it in the image; false, with nothing changed, when the caret is
    // not just inside or after a cell.
    bool CommitFlashWord();
    bool CommitEepromByte();

    // Window events. Key codes are the desktop's virtual-key codes (37 Left,
    // 39 Right, 8 Backspace, 46 Delete, 12 Clear, 9 Tab); a handled key is
    // set to 0, any other is left for the view's own navigation. Character
    // codes are Windows-1252; they are always set to 0 on return.
    void Rt1_Click();
    void Rt1_GotFocus();
    void Rt1_KeyDown(int &KeyCode, int Shift);
    void Rt1_KeyPress(int &KeyAscii);
    void Rt2_Click();
    void Rt2_GotFocus();
    void Rt2_KeyDown(int &KeyCode, int Shift);
    void Rt2_KeyPress(int &KeyAscii);

    // The same handlers addressed by view, for the view widget.
    void Click(View view);
    void GotFocus(View view);
    void KeyDown(View view, int &KeyCode, int Shift);
    void KeyPress(View view, int &KeyAscii);

private:
    void adjustCaret(View view);
    void adjustHexCaret(DumpText &t);
    void adjustAsciiCaret(DumpText &t);
    void keyDown(View view, int &keyCode);
    void hexKeyPress(View view, int &keyAscii);
    void asciiKeyPress(int &keyAscii);
    bool eraseCell(View view, int p, int n);
    bool commitCell(View view);
    bool refreshAscii(View view);
    // Runs an edit as a whole or not at all; see the class comment.
    template <typename Edit> bool transaction(DumpText &t, Edit edit);
    // Image writes go through here so a refused edit can put them back.
    void writeCell(View view, int cell, Fichiers::Boolean16 defined, int value);
    void writeCellDefined(View view, int cell, Fichiers::Boolean16 defined);

    struct CellBackup
    {
        View view;
        int cell;
        Fichiers::Boolean16 defined;
        int value;
    };

    DumpText flash_;
    DumpText eeprom_;
    std::int16_t currentCell_ = 0;
    Fichiers::Boolean16 eepromAsciiMode_ = Fichiers::False;
    std::int16_t flashLineLength_;
    std::int16_t eepromLineLength_;
    int editDepth_ = 0;
    std::vector<CellBackup> cellBackups_;
};
