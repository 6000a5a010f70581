#pragma once

#include <string_view>

namespace Kesh {

struct EventRecord;

// Fills in an event just declared; like TypeBuilder it does nothing when the event
// was declared before (or could not be declared at all).
class EventBuilder {
public:
    EventBuilder(EventRecord* record, bool alreadyDeclared)
        : record_(record), alreadyDeclared_(alreadyDeclared) {}

    EventBuilder& SetDescription(std::string_view description);
    EventBuilder& SetNameSpace(std::string_view nameSpace);
    // An empty tag is not added.
    EventBuilder& AddTag(std::string_view tag);

    // The record of the name (null when the declaration was refused).
    const EventRecord* Record() const { return record_; }
    bool AlreadyDeclared() const { return alreadyDeclared_; }

private:
    bool Writable() const { return !alreadyDeclared_ && record_ != nullptr; }

    EventRecord* record_;
    bool alreadyDeclared_;
};

}  // namespace Kesh
