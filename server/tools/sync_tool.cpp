// Reads one JSON request per line and prints one JSON result per line, so that node tests can
// hold the service's fingerprints, merge and JSON text against the page's own JavaScript.
//   {"fpHash": text}  {"fpItem": item}  {"fpDay": list}  {"stringify": value}
//   {"merge3": [baseFp or null, mine, theirs]}  {"checkDay": list}
#include "core/jstext.hpp"
#include "core/sync.hpp"
#include "core/validate.hpp"

#include <iostream>
#include <string>

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    vs::Json req = vs::Json::parse(line, nullptr, false);
    vs::Json out;
    if (req.is_discarded() || !req.is_object() || req.size() != 1) {
      out = vs::Json{{"error", "bad request"}};
    } else {
      const std::string op = req.begin().key();
      const vs::Json &v = req.begin().value();
      if (op == "fpHash" && v.is_string())
        out = vs::fp_hash(v.get<std::string>());
      else if (op == "fpItem")
        out = vs::fp_item(v);
      else if (op == "fpDay") {
        out = vs::Json::object();
        for (const auto &kv : vs::fp_day(v))
          out[kv.first] = kv.second;
      } else if (op == "stringify")
        out = vs::js_stringify(v);
      else if (op == "checkDay")
        out = vs::check_day_list(v);
      else if (op == "merge3" && v.is_array() && v.size() == 3) {
        vs::FpMap base;
        if (v[0].is_object())
          for (auto it = v[0].begin(); it != v[0].end(); ++it)
            base[it.key()] = it.value().is_string() ? it.value().get<std::string>() : "";
        out = vs::merge3(base, v[1], v[2]);
      } else
        out = vs::Json{{"error", "unknown op"}};
    }
    std::cout << vs::js_stringify(out) << "\n" << std::flush;
  }
  return 0;
}
