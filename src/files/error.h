#pragma once

#include <stdexcept>

// A failing runtime operation (a missing file, a folder that does not exist,
// a picture that does not decode) raises this. Handlers that expect failures
// run their steps through SkipOnFailure; nothing is ever shown to the user.
//
// what() is the operation's own short reason ("file not found"); where the
// system refused, systemError() holds its errno, so that a caller that
// reports failures can add the system's own words.
class RuntimeError : public std::runtime_error
{
public:
    explicit RuntimeError(const char *reason, int systemError = 0)
        : std::runtime_error(reason), m_systemError(systemError)
    {
    }

    int systemError() const { return m_systemError; } // an errno value, or 0

private:
    int m_systemError;
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
