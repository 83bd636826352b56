// The ALSA sequencer path. RtMidi keeps it in its shared code, which is all this file
// adds to; machines without /dev/snd/seq (CI) cannot open it.
#include "host/sources/midi_input.h"

#include "host/host_error.h"

#include <RtMidi.h>

namespace {

class AlsaMidiInput : public MidiInput {
public:
  AlsaMidiInput(MidiInbox& inbox, const std::string& source) : inbox_(inbox) {
    try {
      in_ = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, "za32");
      in_->ignoreTypes(true, true, true);
      in_->setCallback(Receive, this);
      if (source.empty()) {
        in_->openVirtualPort("za32");
        name_ = "za32:za32";
        return;
      }
      for (unsigned i = 0; i < in_->getPortCount(); ++i) {
        std::string name = in_->getPortName(i);
        if (name.find(source) != std::string::npos) {
          in_->openPort(i, "za32");
          name_ = "za32:za32 (from " + name + ")";
          return;
        }
      }
    } catch (const RtMidiError& error) {
      throw HostError("the ALSA sequencer cannot be opened: " + error.getMessage());
    }
    throw HostError("no ALSA sequencer port is named like \"" + source + "\"");
  }
  ~AlsaMidiInput() override {
    try {
      in_->closePort();
    } catch (const RtMidiError&) {
    }
  }
  std::string PortName() const override { return name_; }

private:
  static void Receive(double, std::vector<unsigned char>* bytes, void* self) {
    if (!bytes || bytes->empty())
      return;
    auto& b = *bytes;
    static_cast<AlsaMidiInput*>(self)->inbox_.Put(
        {b[0], b.size() > 1 ? b[1] : uint8_t(0), b.size() > 2 ? b[2] : uint8_t(0)});
  }
  MidiInbox& inbox_;
  std::unique_ptr<RtMidiIn> in_;
  std::string name_;
};

} // namespace

std::unique_ptr<MidiInput> OpenAlsaMidiInput(MidiInbox& inbox, const std::string& source) {
  return std::make_unique<AlsaMidiInput>(inbox, source);
}
