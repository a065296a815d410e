#pragma once

#include <string>
#include <vector>

// The front end that owns the service start's one message to the user. The
// window shows it in a message box; the headless front end prints it.
class MessageBoxOwner {
public:
    virtual ~MessageBoxOwner() = default;
    virtual void ShowMessage(const std::wstring& text, const std::wstring& caption) = 0;
};

// Builds the catalogue from `paths`, opens the endpoints, announces and
// registers the service and starts the worker thread. Runs synchronously on
// the caller's thread; the service must be stopped.
void StartVideoService(const std::vector<std::wstring>& paths, MessageBoxOwner* ownerWindow);

// Raises the stop flag, waits for the worker thread, then closes every socket
// and session and empties the catalogue. Harmless when nothing runs.
void StopVideoService();
