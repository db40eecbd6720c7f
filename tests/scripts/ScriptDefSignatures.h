#pragma once

#include "ScriptDef.h"

#include <string>
#include <vector>

namespace quorvel::test {

/// One line per method ("NAME:type(param:type,...)") then per variable ("NAME:type"): the
/// whole content of a definition in order, for comparing two definitions.
inline std::vector<std::string> Signatures(const TScriptDef& def) {
  std::vector<std::string> out;
  for (int i = 0; i < def.Methods().Count(); ++i) {
    const TScriptMethod* m = def.Methods().Items(i);
    std::string line = m->Name + ":" + std::to_string(m->ResultType) + "(";
    for (int p = 0; p < m->Params.Count(); ++p) {
      if (p > 0) line += ",";
      line += m->Params.Items(p)->Name + ":" + std::to_string(m->Params.Items(p)->ItemType);
    }
    out.push_back(line + ")");
  }
  for (int i = 0; i < def.Variables().Count(); ++i) {
    const TScriptVariable* v = def.Variables().Items(i);
    out.push_back(v->Name + ":" + std::to_string(v->ItemType));
  }
  return out;
}

}  // namespace quorvel::test
