#pragma once

#include <QString>

// What happens when an operation the program never expects to fail does fail, such as a skin
// picture that is missing: the program reports it and ends. Tests inject a reporter that throws
// instead, so nothing blocks and the failing step can be observed.
class RuntimeErrorReporter {
public:
    virtual ~RuntimeErrorReporter() = default;
    [[noreturn]] virtual void raise(const QString& message) = 0;
};

// Shows the message in a box, writes it to stderr, then ends the program with status 1.
class FatalErrorReporter : public RuntimeErrorReporter {
public:
    [[noreturn]] void raise(const QString& message) override;
};
