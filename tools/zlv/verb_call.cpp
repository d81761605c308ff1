#include "tools/zlv/verb_call.h"

#include "model/trace_document.h"
#include "tools/zlv/verbs.h"

#include <iostream>

VerbCall::VerbCall(const char* name, const char* usage) : name_(name), usage_(usage) {}

VerbCall::~VerbCall() = default;

const Args* VerbCall::parse(int argc, char** argv, const ArgSpec& spec, size_t positionals,
                            const std::string& expected) {
    std::string error;
    args_ = parseArgs(argc, argv, 1, spec, error);
    if (!args_) {
        exit_ = usageError(error);
        return nullptr;
    }
    if (args_->help) {
        std::cout << usage_;
        exit_ = kExitOk;
        return nullptr;
    }
    if (args_->positional.size() != positionals) {
        exit_ = usageError(expected);
        return nullptr;
    }
    return &*args_;
}

int VerbCall::usageError(const std::string& message) const {
    return ::usageError(name_, message, usage_);
}

TTrace* VerbCall::openTrace(const std::string& path, bool withLinks) {
    trace_ = openTraceForVerb(path, exit_, withLinks);
    return trace_.get();
}
