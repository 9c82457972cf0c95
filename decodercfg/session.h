// The program's shared state: the configuration image, the file state stored
// beside it, and the settings of the link to the decoder. One instance lives
// in the main window and is handed to every child window that needs it.
#pragma once

#include <string>

#include "cfgfile.h"
#include "image.h"

namespace q5r {

struct Session {
  ConfigImage image;
  FileInfo file;             // texts, LinkPort and LinkMode
  std::string linkBaud = "9600";
  std::string linkFormat = "N,8,1 ";  // padded to six characters
  bool saveInDecoder = true;            // download option "Save"
  // True while an upload, a version request or a memory read runs (the
  // replies then carry data); false for a download or a memory clear.
  bool receiveRequest = false;
};

}  // namespace q5r
