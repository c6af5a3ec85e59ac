// The builder: with no payload of its own, the executable packs the driver files and the
// language archive beside it and the application folder into a new installer, then ends.
#pragma once

#include <string>
#include <vector>

class XC_ExeTailHelper;

// Walks the application folder "E:\Orvanet\<laser>\Run" into payload; see PackApplicationTree.
bool PackApplicationFolder(XC_ExeTailHelper* payload, std::string* failure, std::vector<std::string>* notes);

// Fills payload, writes the installer and ends the process: exit code 0 only when the
// installer was written, 1 otherwise, with the reason in the program's log.
[[noreturn]] void RunBuilder(XC_ExeTailHelper* payload);
