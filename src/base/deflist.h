// The defined variables as the common state keeps them: a list in the order
// of definition, which listings show, and an index by name, so finding,
// replacing or removing a name costs the same however many are defined.
// The nodes are the expression layer's (expr/defvar.h, which also has the
// operations); here only what the record holds.
#pragma once

#include <string>
#include <unordered_map>

struct defvar;

struct deflist {
  defvar* head = nullptr;
  defvar* tail = nullptr;
  std::unordered_map<std::string, defvar*> byname;
};
