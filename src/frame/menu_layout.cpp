#include "frame/menu_layout.h"

#include "frame/key_code.h"

namespace klangor {
namespace {

LMenuEntry Cmd(int id, const char* text, uint32_t key = 0) {
  return {LMenuKind::kCommand, id, text, key};
}
LMenuEntry Check(int id, const char* text, uint32_t key = 0) {
  return {LMenuKind::kCommand, id, text, key, true};
}
LMenuEntry Sep() { return {LMenuKind::kSeparator}; }
LMenuEntry Sub(const char* text, std::vector<LMenuEntry> children) {
  return {LMenuKind::kSubmenu, 0, text, 0, false, std::move(children)};
}

constexpr uint32_t Ctrl(char c) { return kKeyCtrl | KeyChar(c); }
constexpr uint32_t CtrlShift(char c) { return kKeyCtrl | kKeyShift | KeyChar(c); }

std::vector<LMenuEntry> BuildMenu() {
  return {
      Sub("&Datei",
          {
              Cmd(kCmdNew, "&Neu...", Ctrl('N')),
              Cmd(kCmdOpen, "&Öffnen...", Ctrl('O')),
              Cmd(1011, "&Audio Track(s) von CD laden...", Ctrl('L')),
              Cmd(kCmdClose, "Schliessen"),
              Sep(),
              Cmd(kCmdSave, "&Speichern", Ctrl('S')),
              Cmd(kCmdSaveAs, "Speichern &Als..."),
              Sep(),
              Sub("Auf CD kopieren", {Cmd(1012, "Audio"), Cmd(1018, "Data")}),
              Cmd(1009, "Senden..."),
              Sep(),
              Cmd(1013, "Projekt öffnen..."),
              Cmd(1014, "Projekt schliessen"),
              Cmd(1015, "Projekt speichern"),
              Cmd(1016, "Projekt speichern als..."),
              Sep(),
              Cmd(1006, "Samplerate umwandeln"),
              Sub("Kanäle konvertieren", {Cmd(1007, "Mono"), Cmd(1008, "Stereo")}),
              Cmd(1019, "ID3 Tags bearbeiten..."),
              Cmd(kCmdSettings, "Einstellungen..."),
              Sep(),
              {LMenuKind::kRecentFiles},
              Cmd(kCmdExit, "&Schließen"),
          }),
      Sub("&Bearbeiten",
          {
              Cmd(kCmdUndo, "Rückgängig", Ctrl('Z')),
              Cmd(kCmdRedo, "Wiederholen", Ctrl('Y')),
              Sep(),
              Cmd(kCmdCut, "Schneiden", Ctrl('X')),
              Cmd(kCmdCopy, "Kopieren", Ctrl('C')),
              Cmd(kCmdPaste, "Einfügen", Ctrl('V')),
              Cmd(2025, "Aus Zwischenablage einfügen"),
              Cmd(2021, "Nach neu kopieren"),
              Sep(),
              Cmd(2005, "Mix einfügen..."),
              Cmd(2026, "Mix aus Zwischenablage einfügen..."),
              Cmd(2008, "Datei mixen..."),
              Sep(),
              Cmd(2006, "&Löschen", kVkDelete),
              Cmd(2007, "Alles markieren", Ctrl('A')),
              Cmd(2022, "Anfang markieren", kKeyShift | kVkHome),
              Cmd(2023, "Ende markieren", kKeyShift | kVkEnd),
              Cmd(2027, "Bereich markieren", Ctrl('G')),
              Cmd(2030, "Erste Position markieren"),
              Cmd(2031, "Zweite Position markieren"),
              Cmd(2032, "Markierung wiederrufen"),
              Sep(),
              Cmd(2009, "Loop wiederholen..."),
              Cmd(2010, "Trimmen", Ctrl('T')),
              Cmd(2011, "Start trimmen", Ctrl('M')),
              Cmd(2012, "Ende trimmen", Ctrl('E')),
              Cmd(2013, "Automatisch trimmen"),
              Cmd(2034, "Auto Split..."),
              Cmd(2029, "An dieser Stelle in zwei Teile splitten"),
              Sep(),
              Cmd(2014, "Stille im ausgewähltem Bereich"),
              Sub("Stille einfügen", {Cmd(2015, "Anfang"), Cmd(2016, "Aktuelle"), Cmd(2017, "Ende")}),
              Sub("Datei einfügen", {Cmd(2018, "Anfang"), Cmd(2019, "Aktuelle"), Cmd(2020, "Ende")}),
              Cmd(2028, "Speicher markierte Region als..."),
          }),
      Sub("Effe&kte",
          {
              Cmd(4100, "Anpassen..."),
              Cmd(4101, "Normalisieren..."),
              Cmd(4105, "Dynamik..."),
              Sub("Ein- und Ausblenden", {Cmd(4102, "Einblenden"), Cmd(4103, "Ausblenden"),
                                          Cmd(4104, "Ausblenden und trimmen")}),
              Cmd(4106, "DCOffset Correction"),
              Cmd(4018, "Umkehren"),
              Cmd(4107, "Stereo Regler..."),
              Cmd(4030, "Stimmen reduzieren"),
              Sep(),
              Cmd(4110, "Echo..."),
              Cmd(4111, "Hall..."),
              Cmd(4112, "Phaser..."),
              Cmd(4113, "Flanger"),
              Cmd(4114, "Chorus..."),
              Cmd(4115, "Verzerrung"),
              Cmd(4116, "AM Radioeffekt"),
              Cmd(4117, "Telefoneffekt"),
              Sep(),
              Cmd(4023, "Equalizer..."),
              Cmd(4024, "High-Pass Filter..."),
              Cmd(4020, "Dynamic Range Compressor..."),
              Cmd(4021, "Automatische Lautstärken Kontrolle"),
              Sub("Rauschminderung", {Cmd(4025, "Multi-Band Noise Gating anwenden..."),
                                      Cmd(4026, "Auto Spectral Subtraction verwenden..."),
                                      Cmd(4033, "Grab Noise Sample aus markiertem Bereich"),
                                      Cmd(4032, "Spectral Subtraction basiert auf Noise Sample anwenden")}),
              Sep(),
              Cmd(4027, "Geschwindigkeit und Tonhöhe ändern"),
              Cmd(4028, "Nur Geschwindigkeit ändern"),
              Cmd(4029, "Nur Tonhöhe ändern"),
              Sep(),
              Cmd(4019, "LV2 Effekte..."),
              // 4020, which the plug-in command had, is the compressor's.
              Cmd(4031, "VST Plugins..."),
          }),
      Sub("&Wiedergabe",
          {
              Cmd(kCmdPlay, "Abspielen", KeyF(9)),
              Cmd(kCmdStop, "Stop", kVkEscape),
              Cmd(kCmdRecord, "Aufnehmen...", KeyF(5)),
              Sep(),
              Check(kCmdPlaySlow, "Langsam abspielen", KeyF(11)),
              Check(kCmdPlayNormal, "Normal abspielen", KeyF(10)),
              Check(kCmdPlayFast, "Schnell abspielen", KeyF(12)),
              Check(kCmdRepeat, "Endlos wiederholen", kKeyShift | KeyF(9)),
              Sep(),
              Cmd(kCmdToStart, "Zum Anfang", kVkHome),
              Cmd(kCmdRewind, "Zurückspulen", KeyF(7)),
              Cmd(kCmdForward, "Vorspulen", KeyF(8)),
              Cmd(kCmdToEnd, "Zum Ende", kVkEnd),
          }),
      Sub("&Ansicht",
          {
              Cmd(5001, "Vergrößern", kKeyCtrl | kVkOemPlus),
              Cmd(5002, "Verkleinern", kKeyCtrl | kVkOemMinus),
              Cmd(5003, "Auswahl zoomen", CtrlShift('S')),
              Cmd(5004, "Ganze Datei zeigen", CtrlShift('F')),
              Check(5005, "Vertikaler Zoom", CtrlShift('V')),
              Sep(),
              Check(5007, "Anzeige + / -"),
              Check(5008, "Anzeige L / R"),
              Check(5013, "Linker und rechter Kanal getrennt"),
              Sep(),
              Check(kCmdShowCommandBar, "Kommandozeile anzeigen", CtrlShift('A')),
              Check(kCmdCommandBarLeft, "Links"),
              Check(kCmdCommandBarRight, "Rechts"),
              Check(kCmdShowMainToolbar, "Werkzeugleiste"),
              Check(kCmdShowEffectsBar, "Effektleiste"),
          }),
      Sub("W&erkzeuge",
          {
              Cmd(7001, "Frequenzanalyse (FFT)"),
              Cmd(7005, "Temporale Frequenzanalyse (TFFT)"),
              Sep(),
              Cmd(7009, "&Auto Störgeräuschrestoration"),
              Cmd(7010, "Manueller Klick/Pop Reduzierung"),
              Sep(),
              Cmd(7004, "Text als Sprache"),
              Cmd(kCmdBatch, "Stapelbearbeitung"),
          }),
      Sub("&Lesezeichen",
          {
              Cmd(8001, "Lesezeichen setzen", Ctrl('B')),
              Cmd(8003, "Liste öffnen", CtrlShift('B')),
              Sep(),
              Cmd(8004, "Bereich hinzufügen", Ctrl('R')),
              Cmd(8000, "Gespeicherten Bereich öffnen", CtrlShift('R')),
              Cmd(8005, "Bereiche zusammenfügen"),
          }),
      Sub("&Fenster",
          {
              Cmd(kCmdCascade, "Überlappend"),
              Cmd(kCmdArrange, "Übereinander"),
              Cmd(kCmdTile, "Nebeneinander"),
              Cmd(kCmdArrangeIcons, "Minimierte Fenster anordnen"),
              Sep(),
              Cmd(kCmdCloseAll, "Alles schliessen"),
              {LMenuKind::kWindowList},
          }),
      Sub("&Hilfe", {Cmd(kCmdHelp, "&Hilfethemen", KeyF(1)), Cmd(kCmdAbout, "Über")}),
  };
}

void Collect(const std::vector<LMenuEntry>& entries, std::vector<const LMenuEntry*>& out) {
  for (const LMenuEntry& entry : entries) {
    if (entry.kind == LMenuKind::kCommand) out.push_back(&entry);
    if (entry.kind == LMenuKind::kSubmenu) Collect(entry.children, out);
  }
}

}  // namespace

const std::vector<LMenuEntry>& MainMenu() {
  static const std::vector<LMenuEntry> menu = BuildMenu();
  return menu;
}

std::vector<const LMenuEntry*> MenuCommands() {
  std::vector<const LMenuEntry*> out;
  Collect(MainMenu(), out);
  return out;
}

const LMenuEntry* FindMenuCommand(int id) {
  for (const LMenuEntry* entry : MenuCommands()) {
    if (entry->id == id) return entry;
  }
  return nullptr;
}

}  // namespace klangor
