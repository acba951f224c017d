#include "app/CommandLine.h"

#include <strings.h>

namespace lunavue {

void CTovrinCommandLineInfo::ParseParam(const std::string& param, bool flag) {
    if (!flag) {
        target_.AppendToQueue(param);
        target_.SetFromCommandLine();
        return;
    }
    if (strcasecmp(param.c_str(), "play") == 0) {
        target_.SetAutoPlay();
    } else if (strcasecmp(param.c_str(), "close") == 0) {
        target_.SetCloseAtEnd();
    }
    // Any other flag has no effect.
}

bool IsCommandLineFlag(const std::string& a) {
    if (a.empty()) {
        return false;
    }
    if (a[0] == '-') {
        return true;
    }
    return a[0] == '/' &&
           (strcasecmp(a.c_str() + 1, "play") == 0 || strcasecmp(a.c_str() + 1, "close") == 0);
}

void ParseCommandLine(const std::vector<std::string>& args, CTovrinCommandLineInfo& info) {
    for (const std::string& a : args) {
        const bool flag = IsCommandLineFlag(a);
        info.ParseParam(flag ? a.substr(1) : a, flag);
    }
}

}  // namespace lunavue
