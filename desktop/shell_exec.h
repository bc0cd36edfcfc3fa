#pragma once
#include "base/types.h"

// Hands a document, program or address to the user's associated application.
class S_Exec {
 public:
  S_Exec();
  virtual ~S_Exec() = default;
  virtual bool SetShowCmd(int showCmd);
  virtual bool SetOperation(const wchar_t* operation);
  virtual bool SetFile(const wchar_t* file);
  virtual bool SetParamaters(const wchar_t* paramaters);
  virtual bool Execute() const;
  virtual bool explorer_(const wchar_t* path);

 private:
  int ShowCmd = 1;
  wstring Operation;
  wstring File;
  wstring Paramaters;
};
