// qarn-vcard: one virtual contactless card on a slot of the virtual PC/SC
// reader driver, for scripts.  It stays in the field until it is ended
// (SIGTERM or SIGINT), or its parent ends, or it leaves by --leave-at.
#include "vcard_card.h"

#include <sys/prctl.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>

using namespace qarnvcard;

namespace {

void Usage(FILE *out)
{
    std::fputs(
        "usage: qarn-vcard --port PORT [options]\n"
        "  --port PORT          TCP port of the driver's slot on this machine\n"
        "  --storage SSNNNN     storage card: standard byte SS, card name NNNN (default 030001)\n"
        "  --iso14443-4 HEX     ISO 14443-4 card with these historical bytes\n"
        "  --atr HEX            this answer to reset, as it is (\"\" for an empty one)\n"
        "  --uid HEX            the UID (default 04A2197F)\n"
        "  --uid-answer HEX     this whole answer to GET DATA, status word included\n"
        "  --echo-delay MS      delay of each echo exchange (default 0)\n"
        "  --no-echo            answer the echo command with 6D 00\n"
        "  --echo-answer HEX    answer every echo command with these bytes\n"
        "  --leave-at N         leave the field, unanswered, at the N-th command\n",
        out);
}

bool Number(const char *text, unsigned long max, unsigned long &value)
{
    char *end = nullptr;
    errno = 0;
    value = std::strtoul(text, &end, 0);
    return errno == 0 && end != text && *end == '\0' && value <= max;
}

bool Hex(const char *text, TBytes &bytes)
{
    if (ParseHex(text, bytes))
        return true;
    std::fprintf(stderr, "qarn-vcard: not hexadecimal bytes: %s\n", text);
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    unsigned long port = 0;
    TCardBehaviour behaviour;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "-h" || option == "--help") {
            Usage(stdout);
            return 0;
        }
        if (option == "--no-echo") {
            behaviour.echo = false;
            continue;
        }
        if (i + 1 >= argc) {
            Usage(stderr);
            return 2;
        }
        const char *value = argv[++i];
        unsigned long number = 0;
        TBytes bytes;
        bool ok = true;
        if (option == "--port") {
            ok = Number(value, 65535, port) && port != 0;
        } else if (option == "--storage") {
            ok = Hex(value, bytes) && bytes.size() == 3;
            if (ok)
                behaviour.atr = StorageCardAtr(bytes[0], uint16_t(bytes[1] << 8 | bytes[2]));
        } else if (option == "--iso14443-4") {
            ok = Hex(value, bytes) && bytes.size() <= 15;
            if (ok)
                behaviour.atr = Iso14443Part4Atr(bytes);
        } else if (option == "--atr") {
            ok = Hex(value, behaviour.atr);
        } else if (option == "--uid") {
            ok = Hex(value, bytes);
            if (ok)
                behaviour.uidAnswer = UidAnswer(bytes);
        } else if (option == "--uid-answer") {
            ok = Hex(value, behaviour.uidAnswer);
        } else if (option == "--echo-delay") {
            ok = Number(value, 60000, number);
            behaviour.echoDelayMs = unsigned(number);
        } else if (option == "--echo-answer") {
            ok = Hex(value, behaviour.echoAnswer) && !behaviour.echoAnswer.empty();
        } else if (option == "--leave-at") {
            ok = Number(value, 1000000, number);
            behaviour.leaveAtApdu = unsigned(number);
        } else {
            std::fprintf(stderr, "qarn-vcard: unknown option %s\n", option.c_str());
            Usage(stderr);
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "qarn-vcard: bad value for %s: %s\n", option.c_str(), value);
            return 2;
        }
    }
    if (port == 0) {
        Usage(stderr);
        return 2;
    }

    // A script that dies takes its card with it.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGTERM);
    sigaddset(&endSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr); // the card's thread inherits the mask

    TVirtualCard card(uint16_t(port), behaviour);
    if (!card.Insert(10000)) {
        std::fprintf(stderr, "qarn-vcard: no driver listens on port %lu\n", port);
        return 1;
    }
    std::printf("qarn-vcard: card %s in the field on port %lu\n", ToHex(behaviour.atr).c_str(), port);
    std::fflush(stdout);
    int received = 0;
    sigwait(&endSignals, &received);
    card.Remove();
    return 0;
}
