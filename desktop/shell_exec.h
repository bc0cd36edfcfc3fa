#pragma once
// Handing a document, a program or an address to the user's associated
// application, with every refusal written to the trace log.
#include <cstdint>

#include "base/types.h"

// One request to open something: constructed, given its items, executed and
// dropped. The operations reach one another through their virtual slots.
class S_Exec {
 public:
  S_Exec();
  // The item pointers point into this object's own texts; a copy would
  // point into the original.
  S_Exec(const S_Exec&) = delete;
  S_Exec& operator=(const S_Exec&) = delete;

  // Each returns true.
  virtual bool SetShowCmd(std::int32_t showCmd);
  virtual bool SetOperation(const wchar_t* operation);
  // A `file` that names no existing file or folder is stored as
  // GetPathEXE(file) finds it.
  virtual bool SetFile(const wchar_t* file);
  virtual bool SetParamaters(const wchar_t* paramaters);
  // Opens the file item (or, with no file item, the parameters text) with
  // its associated application; a program file is run with the parameters
  // text as its one argument. True when launched; false after writing the
  // reason and the three items to the trace log.
  virtual bool Execute() const;
  // Opens `path` in the file manager; the result of Execute.
  virtual bool explorer_(const wchar_t* path);
  virtual ~S_Exec();

  // A bare program name as a path: the name itself when it exists, else the
  // first folder of PATH that holds it as a program, else (for a name
  // ending in ".exe") the system folders; `defPath` unchanged when nothing
  // is found.
  static wstring GetPathEXE(const wstring& defPath);

 protected:
  void* Hwnd;  // owner of any user interface; never set
  std::int32_t ShowCmd;
  // Null while the item is unset: an unset item and an empty one differ.
  const wchar_t* OperationP;
  const wchar_t* FileP;
  const wchar_t* ParamatersP;
  const wchar_t* DirectoryP;  // never set
  wstring Operation;          // a verb: "open", "explore", ...; empty uses the default
  wstring File;
  wstring Paramaters;
  wstring Directory;
};

// Writes `text` (up to its first NUL) to the trace log instead of showing a
// box; `nType` and `nIDHelp` are not looked at. 1 when it was written, else 0.
int LogMessageBox(const wstring& text, std::uint16_t nType, std::uint16_t nIDHelp);
