// tarvik-payload build: the builder's job for release pipelines, without Windows.
#pragma once

// build STUB OUT --app DIR --drivers DIR --language ZIP (argv after "build"); exit code.
int BuildInstaller(int argc, char** argv);
