#pragma once
// The interfaces of the command line's views: a view copies the library records of one object and
// turns them into the (name, value) list a property formatter prints.
#include <cstdint>
#include <string>

#include "cli/PropertyFormatter.h"

namespace MOX {

class Serializable {
public:
    virtual PropertyList serialize() const = 0;

protected:
    // Views are owned through their own class or through BasicController, never through here.
    ~Serializable() = default;
};

// A controller of the vendor's driver or of another vendor.
class BasicController : public Serializable {
public:
    virtual ~BasicController() = default;
    virtual std::string getName() const = 0;
    virtual uint32_t getScsiPortNumber() const = 0;
    virtual uint32_t getHandle() const = 0;
    virtual bool isOwnDriverController() const = 0;
    virtual bool isCompatibleWithDriver() const = 0;
    virtual bool isRemapCapable() const = 0;
};

// An end device behind the vendor's controller or behind another vendor's.
class BasicEndDevice : public Serializable {
public:
    virtual uint32_t getHandle() const = 0;
    virtual uint32_t getControllerHandle() const = 0;
    virtual std::string getId() const = 0;
    virtual uint32_t getUsage() const = 0;
    virtual uint32_t getDiskType() const = 0;
    virtual bool isSystemDisk() const = 0;
    virtual bool isSsd() const = 0;
    // Without its leading spaces.
    virtual std::string getSerialNumber() const = 0;
    virtual std::string getModel() const = 0;
    virtual uint64_t getSize() const = 0;
    virtual bool hasSmartEvent() const = 0;
    virtual uint32_t getState() const = 0;

protected:
    ~BasicEndDevice() = default;
};

// A text field of a library record: up to its first NUL, never past the field.
template <size_t N> std::string RecordText(const char (&field)[N]) {
    size_t length = 0;
    while (length < N && field[length] != '\0')
        ++length;
    return std::string(field, length);
}

inline const char* BoolText(bool value) {
    return value ? "True" : "False";
}

} // namespace MOX
