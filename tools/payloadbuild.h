// tarvik-payload build: the builder's job for release pipelines, without Windows.
#pragma once

#include <string>

// A command's failure, shared by the tool's commands: "tarvik-payload: <message>" on standard
// error; returns the exit code 1.
int Fail(const std::string& message);

// build STUB OUT --app DIR --drivers DIR --language ZIP (argv after "build"); exit code.
int BuildInstaller(int argc, char** argv);
