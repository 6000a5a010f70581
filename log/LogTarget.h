#pragma once

#include <cstdint>
#include <string>

#include "log/LogRecord.h"
#include "log/LogTargetInterface.h"
#include "platform/Lock.h"

namespace Kesh {

// A sink for log records with its own level, category filters and line format.
// The manager reaches it only through Interface().
class LogTarget {
public:
    LogTarget();
    virtual ~LogTarget();
    LogTarget(const LogTarget&) = delete;
    LogTarget& operator=(const LogTarget&) = delete;

    virtual void Detach();
    virtual const char* Name() const;
    virtual const char* Format() const;
    // Writes one record; true when the target wrote it. A target that installs no
    // writer of its own writes nothing.
    virtual bool Write(const LogRecord& record);

    LogTargetInterface* Interface() { return &slot_.functions; }
    static LogTarget* FromInterface(LogTargetInterface* self);

    void Attach();
    bool IsAttached() const;
    void SetLevel(std::int32_t level);
    std::int32_t Level() const;
    void SetMasks(std::uint64_t included, std::uint64_t excluded);
    std::uint64_t IncludedMask() const;
    std::uint64_t ExcludedMask() const;
    void SetFormat(const char* format);

protected:
    Platform::Lock& TargetLock() const { return lock_; }

private:
    // The table plus the way back to its target.
    struct InterfaceSlot {
        LogTargetInterface functions;
        LogTarget* owner;
    };

    InterfaceSlot slot_;
    bool attached_ = false;
    mutable Platform::Lock lock_;
    std::int32_t level_ = 1;
    std::uint64_t includedMask_ = 0;
    std::uint64_t excludedMask_ = 0;
    std::string format_ = "#D| #L| #G| #M";
};

// Detaches the target, sets level, masks (as setMasks does) and line format, and
// attaches it again.
void Configure(LogTarget& target, std::int32_t level, std::uint64_t included, std::uint64_t excluded,
               const char* format);

}  // namespace Kesh
