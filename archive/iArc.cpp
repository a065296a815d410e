#include "archive/iArc.h"

iArc& iArc::Serialize(double& value) {
    return SerializeBytes(&value, 8);
}
iArc& iArc::Serialize(float& value) {
    return SerializeBytes(&value, 4);
}
iArc& iArc::Serialize(uint16_t& value) {
    return SerializeBytes(&value, 2);
}
iArc& iArc::Serialize(int16_t& value) {
    return SerializeBytes(&value, 2);
}
iArc& iArc::Serialize(uint8_t& value) {
    return SerializeBytes(&value, 1);
}
iArc& iArc::Serialize(int8_t& value) {
    return SerializeBytes(&value, 1);
}
iArc& iArc::Serialize(uint64_t& value) {
    return SerializeBytes(&value, 8);
}
iArc& iArc::Serialize(int64_t& value) {
    return SerializeBytes(&value, 8);
}
iArc& iArc::Serialize(uint32_t& value) {
    return SerializeBytes(&value, 4);
}
iArc& iArc::Serialize(int32_t& value) {
    return SerializeBytes(&value, 4);
}

iArc& iArc::Serialize(bool& value) {
    // A bool read from the wire may hold any byte; normalise it so that no
    // invalid bool value is ever observed by the caller.
    uint8_t byte = value ? 1 : 0;
    SerializeBytes(&byte, 1);
    value = byte != 0;
    return *this;
}
