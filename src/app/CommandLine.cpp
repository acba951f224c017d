#include "app/CommandLine.h"

#include <strings.h>

namespace lunavue {

void CTovrinCommandLineInfo::ParseParam(const std::string& param, bool flag, bool /*last*/) {
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

void ParseCommandLine(const std::vector<std::string>& args, CTovrinCommandLineInfo& info) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool flag = !a.empty() && (a[0] == '-' || a[0] == '/');
        info.ParseParam(flag ? a.substr(1) : a, flag, i + 1 == args.size());
    }
}

}  // namespace lunavue
