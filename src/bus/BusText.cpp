#include "bus/BusText.h"

namespace kestrel {

Payload TextWithCR(const std::string& text) {
  Payload p(text.begin(), text.end());
  p.push_back(kCR);
  return p;
}

}  // namespace kestrel
