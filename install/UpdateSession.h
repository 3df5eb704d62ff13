// One update run of the installer, on the worker thread: the steps that bring
// the configuration, the program files and the engine database up to date.
#pragma once

#include <string>

class CUpdateSession {
public:
    CUpdateSession() {}
    virtual ~CUpdateSession() {}

    // The configuration step: fetches "QVConfig.dat" from server entry 0 of
    // the configuration record into installFolder's work folder, validates it,
    // copies it into installFolder and loads it into the record. True when the
    // copy succeeded. Whenever the file arrived, the product value "PCode" = 11
    // is written, also when it then fails validation.
    bool FetchConfiguration();

    std::string installFolder;
};
