// gateway.h -- volneda gateway: presence events of one or more readers to
// an MQTT broker, by way of an on-disk queue (docs/gateway.md).
#ifndef VOLNEDA_CLI_GATEWAY_H
#define VOLNEDA_CLI_GATEWAY_H

#include <string>
#include <vector>

namespace cli {

// Exit statuses beyond the tool's (0 stopped in order, 1 failed, 2 usage or
// configuration): none; --once ends with 1 when a reader failed or the
// queue could not be delivered within the drain time.
// `args`: the words after "gateway".
int Gateway(const std::vector<std::string> &args);

}  // namespace cli

#endif
