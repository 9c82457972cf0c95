// The RS232 transfers with the decoder, step by step, on any serial line:
// Q5RSetup's Transmit and memory windows drive them through a line that
// keeps window events flowing while it waits, the command-line program
// through a plain blocking one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image.h"
#include "link/memoryrecords.h"
#include "link/protocol.h"

namespace q5r {

// An open serial line to the decoder.
class SerialLine {
 public:
  virtual ~SerialLine() = default;
  virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
  // Throws away whatever has been received and not yet taken.
  virtual void ClearReceived() = 0;
  // Waits until at least `threshold` bytes have been received and not yet
  // taken, then hands over every byte waiting; empty when `timeoutMs`
  // passes first (the bytes then stay waiting).
  virtual std::vector<std::uint8_t> AwaitReceived(std::size_t threshold, int timeoutMs) = 0;
};

// Every transfer takes an optional `onRequested`, run as soon as its
// request has gone out: the caller's own work (greying buttons, clearing a
// box) then overlaps the decoder's answer instead of delaying the request.

// Download: the frame, then the first reply byte within 3000 ms.
// kNothing = no reply, kAccepted = 07, kRejected = anything else.
SerialResult SerialDownload(SerialLine& line, const ImageBytes& image, bool saveInDecoder,
                            const std::function<void()>& onRequested = {});

// Upload or version request: the request, then a reply of at least 84 bytes
// within 7000 ms, collected to the length it announces within the same
// time. kAccepted carries the checked reply; kRejected a reply that failed
// its checks; kNothing no reply (or fewer than 84 bytes) in time.
struct SerialUploadOutcome {
  SerialResult result = SerialResult::kNothing;
  std::optional<SerialUploadReply> reply;
};
SerialUploadOutcome SerialUpload(SerialLine& line, const std::function<void()>& onRequested = {});

// Memory read: the request, then up to 31 blocks, each acknowledged, each
// within 3000 ms. `onText` gets the text of the records each block
// completes (CR LF ended lines), after that block's acknowledgement went
// out. Returns the last
// block status: kEnd or kMore (31 blocks taken) for a read that worked.
BlockStatus SerialReadMemory(SerialLine& line, MemoryAssembler& assembler, std::string& text,
                             const std::function<void(std::string_view added)>& onText = {},
                             const std::function<void()>& onRequested = {});

// Memory clear: kMore = accepted (07), kBad = refused, kNothing = no reply.
BlockStatus SerialClearMemory(SerialLine& line, const std::function<void()>& onRequested = {});

}  // namespace q5r
