#include "common/FailureNote.h"

namespace ombrelta {
namespace {

thread_local FailureNotes* openScope = nullptr;

}  // namespace

FailureNotes::FailureNotes() : outer(openScope) {
    openScope = this;
}

FailureNotes::~FailureNotes() {
    openScope = outer;
}

std::string TakeFailureNotes() {
    std::string taken;
    if (openScope != nullptr)
        taken.swap(openScope->notes);
    return taken;
}

void NoteFailure(const std::string& cause) {
    if (openScope == nullptr || cause.empty())
        return;
    try {
        if (!openScope->notes.empty())
            openScope->notes += "; ";
        openScope->notes += cause;
    } catch (...) {
    }
}

}  // namespace ombrelta
