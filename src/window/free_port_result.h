#pragma once
// What the scan window does with the first free port: configure the bundle, show the port and the
// two site links, write the completion marker.

#include <string>

namespace orv {

struct SiteLinks {
  std::string portCaption;  // lblPort
  std::string qornCaption;  // lblQorn
  std::string qornTag;      // the address a click on lblQorn opens
  std::string zelCaption;   // lblZel
  std::string zelTag;
};

// The texts for a port text such as "81". The port text "80" gives addresses without a port.
SiteLinks LinksForPort(const std::string& port);

class FreePortSteps {
 public:
  virtual ~FreePortSteps() = default;
  virtual void Configure(const std::string& port) = 0;
  // Enables and shows both link labels, then sets the port caption, then caption and tag of each.
  virtual void ShowLinks(const SiteLinks& links) = 0;
  virtual void WriteFinishMarker() = 0;
};

// Configure, then the links, then the marker. A failure of Configure propagates before anything
// is shown or written.
void ShowFreePort(const std::string& port, FreePortSteps& steps);

}  // namespace orv
