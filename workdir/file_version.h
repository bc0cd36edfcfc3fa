#pragma once
// Reading the version record of a program file: the string table of its one
// translation. Used once: constructed (which loads the record), queried,
// destroyed. Every failure writes one line on the error stream.
#include <cstdint>

#include "base/types.h"

class FVersion {
 public:
  explicit FVersion(const wstring& file);
  // Nothing is owned beyond the members; virtual because the slots are.
  virtual ~FVersion() = default;

  // Stores the file and loads its record. False for an empty name, a file
  // that does not exist, or a failed load.
  virtual bool SetFile(const wstring& file);
  virtual bool SetFile(const wchar_t* file);
  // The value of the string-table key `name`; empty when there is none
  // (the record is loaded first when it is not yet).
  virtual wstring GetInfo(const wstring& name);
  // Loads the record of the stored file; false when it has none, cannot be
  // read, or names no translation.
  virtual bool GetInfo();

  virtual wstring GetComments();
  virtual wstring GetCompanyName();
  virtual wstring GetFileDescription();
  virtual wstring GetFileVersion();
  virtual wstring GetInternalName();
  virtual wstring GetLegalCopyright();
  virtual wstring GetLegalTrademarks();
  virtual wstring GetOriginalFilename();
  virtual wstring GetPrivateBuild();
  virtual wstring GetProductName();
  virtual wstring GetProductVersion();
  virtual wstring GetSpecialBuild();

 protected:
  wstring VerFile;
  std::uint32_t VerHandle = 0;
  std::uint32_t VerSize = 0;
  v_char VerData;
  // "\StringFileInfo\" + language + code page + "\"; empty until a load
  // succeeds.
  wstring VerBlock;
};
