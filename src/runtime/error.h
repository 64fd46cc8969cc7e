#pragma once

#include <stdexcept>

// A failing runtime operation (a missing file, a folder that does not exist,
// a picture that does not decode) raises this. Handlers that expect failures
// run their steps through SkipOnFailure; nothing is ever shown to the user.
class RuntimeError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Runs one step of a handler; if the step fails, it is dropped silently and
// the handler goes on with its next step.
//
//     const SkipOnFailure step;
//     step([&] { file.openForInput("lastpath.skin"); });
//     step([&] { LastPath = file.readLine(); });
class SkipOnFailure
{
public:
    template <class Step>
    void operator()(Step &&run) const noexcept
    {
        try {
            run();
        } catch (const RuntimeError &) {
        }
    }
};
