// Makes the Microsoft cabinet of one update file with gcab.
#pragma once

#include <string>

// Runs "gcab -c -z CABINET NAME" in folder, so the cabinet stores the file
// folder/NAME under the name NAME (no folder part) with its modification
// time as the entry's date and time, MSZIP-compressed. gcab is the program
// name or path to run. False with error set when gcab cannot be started,
// fails, or leaves no cabinet. cabinet must be an absolute path.
bool MakeCabinet(const std::string& gcab, const std::string& folder, const std::string& name,
                 const std::string& cabinet, std::string& error);
