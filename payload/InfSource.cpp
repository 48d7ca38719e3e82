#include "payload/InfSource.h"

namespace payload {

bool InfReading::ReadField(const InfPlace& line, unsigned index, launcher::ByteString& text) {
    if (inf_.Field(line, index, text)) return true;
    Failed(inf_.LastError());
    return false;
}

bool InfReading::OptionalField(const InfPlace& line, unsigned index, launcher::ByteString& text) {
    if (inf_.FieldCount(line) < index) {
        text.Clear();
        return true;
    }
    return ReadField(line, index, text);
}

// The setup library says why a call failed through the thread's last error:
// only its memory errors mean exhausted memory
// (learn.microsoft.com/windows/win32/api/setupapi/nf-setupapi-setupgetstringfielda).
void InfReading::Failed(std::uint32_t error) {
    if (error == kErrorNotEnoughMemory || error == kErrorOutOfMemory) {
        noMemory_ = true;
    } else if (error_ == 0) {
        error_ = error;
    }
}

}  // namespace payload
