#pragma once
// The pipelines ExecuteSetupFunction dispatches to, by function code. A code
// without a pipeline does nothing and reports success.

#include <cstdint>
#include <functional>

class TKvtSetup;

// One pipeline: runs on the session with the call's parameter; reports
// through the session and raises on fatal failures.
using TSetupFunction = std::function<void(TKvtSetup& setup, void* parameter)>;

// The pipeline of code, or an empty function.
TSetupFunction FindSetupFunction(std::int32_t code);
// Installs (or, with an empty function, removes) the pipeline of code;
// returns the previous one.
TSetupFunction RegisterSetupFunction(std::int32_t code, TSetupFunction function);
