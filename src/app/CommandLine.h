// The command line: file names to queue, and the words "play" and "close".
#pragma once

#include <string>
#include <vector>

namespace lunavue {

// What the command line acts on: the document's queue and flags, and the application's
// note that names came from the command line.
class CommandLineTarget {
  public:
    virtual ~CommandLineTarget() = default;
    virtual void AppendToQueue(const std::string& name) = 0;
    virtual void SetAutoPlay() = 0;
    virtual void SetCloseAtEnd() = 0;
    virtual void SetFromCommandLine() = 0;
};

// Handles one parameter at a time, as the framework's command-line record does.
class CTovrinCommandLineInfo {
  public:
    explicit CTovrinCommandLineInfo(CommandLineTarget& target) : target_(target) {}

    // param: the parameter without its leading "-" or "/" when flag is true.
    void ParseParam(const std::string& param, bool flag);

  private:
    CommandLineTarget& target_;
};

// Whether an argument is a flag: "-" starts one; "/" only for the words play and close,
// since every absolute path on this platform begins with "/".
bool IsCommandLineFlag(const std::string& arg);

// Walks the arguments after the program name: a leading "-" or "/" makes a flag.
void ParseCommandLine(const std::vector<std::string>& args, CTovrinCommandLineInfo& info);

}  // namespace lunavue
