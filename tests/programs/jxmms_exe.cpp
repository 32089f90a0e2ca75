// The management server as a service program of the tests: runs the test management server with
// the settings of the machine root's "mmsserver/settings.txt", records every request in
// "mmsserver/requests.txt", and writes "services/<folded name>.ready" once it listens. It runs until the
// service is stopped, its machine root goes away or ten minutes have passed.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "jxplat/machine.h"
#include "jxplat/text.h"
#include "mmstestserver.h"

int main() {
    const std::string root = jxplat::MachineRoot();
    std::ifstream in(jxmmstest::MmsServerFiles::Settings(root));
    std::stringstream text;
    text << in.rdbuf();
    jxmmstest::MmsTestServer server(jxmmstest::MmsServerSettings::Load(text.str()),
                                    jxmmstest::MmsServerFiles::Record(root));
    std::filesystem::create_directories(root + "/services");
    // The ready file carries the folded service name, as the Service Control Manager looks for it.
    std::ofstream(root + "/services/" + jxtext::N(jxtext::Fold(u"jxmms")) + ".ready") << "ready\n";
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(10);
    while (std::filesystem::exists(root) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return 0;
}
