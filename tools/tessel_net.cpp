// tessel-net: the network-use command of the described machine. "tessel-net use" prints the
// current user's network connections of the machine description (machine.json in
// $TESSEL_MACHINE) as the command prints them, in the system ANSI code page. A machine's
// system folder holds it as "net.exe" (a link), where the printer probes look for it.
#include <iostream>
#include <string>

#include "platform/system/filelimit.h"
#include "platform/system/network.h"

int main(int argc, char** argv) {
    platform::system::ignoreFileSizeSignal();  // a file size limit fails the write instead
    if (argc < 2 || std::string(argv[1]) != "use" || argc > 2) {
        std::cout << "The syntax of this command is:\r\n\r\nNET USE\r\n";
        return 1;
    }
    std::cout << platform::system::netUseListing(platform::system::networkUses());
    return 0;
}
