// arksim: the simulator's command line.  Global options, then a subcommand
// from the table of one of the command groups.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "arksim_cli.h"
#include "cmd_fru.h"
#include "cmd_mailbox.h"
#include "core/simstate.h"

using namespace arkcli;

namespace {

constexpr Opt kCommon[] = {
    {"-C", "DIR", "the chassis folder (default: that of $ARKSIM_SP, else ~/.arksim)"},
    {"--blade", "NAME", "the blade to work on"},
    {"--slot", "N", "the blade in slot N"},
    {"--help", "", "this help"},
};

using Group = std::span<const Command> (*)();
constexpr Group kGroups[] = {chassis_commands, show_commands,  watch_commands,    memory_commands,
                             value_commands,   debug_commands, timeline_commands, run_commands,
                             replay_commands,  cmm_commands,   fru_commands,      mailbox_commands,
                             explore_commands};

const Command *find_command(std::string_view name)
{
    for (Group g : kGroups)
        for (const Command &c : g())
            if (name == c.name)
                return &c;
    return nullptr;
}

const Opt *find_opt(std::span<const Opt> opts, std::string_view name)
{
    for (const Opt &o : opts)
        if (name == o.name || (name == "-h" && std::strcmp(o.name, "--help") == 0))
            return &o;
    return nullptr;
}

void print_opts(std::span<const Opt> opts)
{
    for (const Opt &o : opts)
        std::printf("  %-22s %s\n", (std::string(o.name) + " " + o.value).c_str(), o.help);
}

void main_help()
{
    std::puts("usage: arksim [-C DIR] [--blade NAME | --slot N] COMMAND [ARGS]\n\n"
              "The simulated SP platform and chassis: make and inspect the chassis\n"
              "folder, change what a blade's platform answers, and run programs as\n"
              "a blade's SP.\n\ncommands:");
    for (Group g : kGroups)
        for (const Command &c : g())
            std::printf("  %-10s %s\n", c.name, c.summary);
    std::puts("\noptions (before or after the command):");
    print_opts(kCommon);
    std::puts("\n`arksim COMMAND --help` tells more about a command.");
}

void command_help(const Command &c)
{
    std::printf("usage: arksim %s %s\n\n%s\n", c.name, c.usage, c.summary);
    if (c.help[0] != '\0')
        std::printf("\n%s\n", c.help);
    if (!c.opts.empty()) {
        std::puts("\noptions:");
        print_opts(c.opts);
    }
    std::puts("\ncommon options:");
    print_opts(kCommon);
}

// "--name=value" or "--name value"; returns false with a message printed.
bool parse_opt(std::span<char *> in, std::size_t &i, std::span<const Opt> own, Context &ctx, Args &args,
               bool &help)
{
    std::string word = in[i];
    std::string name = word, value;
    bool inline_value = false;
    if (auto eq = word.find('='); word.rfind("--", 0) == 0 && eq != std::string::npos) {
        name = word.substr(0, eq);
        value = word.substr(eq + 1);
        inline_value = true;
    }
    const Opt *o = find_opt(own, name);
    bool common = o == nullptr;
    if (common)
        o = find_opt(kCommon, name);
    if (o == nullptr)
        return usage_error("unknown option %s", name.c_str()), false;
    if (o->value[0] != '\0' && !inline_value) {
        if (i + 1 >= in.size())
            return usage_error("%s needs a value", name.c_str()), false;
        value = in[++i];
    } else if (o->value[0] == '\0' && inline_value) {
        return usage_error("%s takes no value", name.c_str()), false;
    }
    if (!common) {
        args.opts.emplace_back(o->name, value);
        return true;
    }
    long long slot = 0;
    if (std::strcmp(o->name, "--help") == 0)
        help = true;
    else if (std::strcmp(o->name, "-C") == 0)
        ctx.chassis = absolute_path(value);
    else if (std::strcmp(o->name, "--blade") == 0)
        ctx.blade = value;
    else if (!parse_number(value, 0, 255, slot))
        return usage_error("--slot needs a slot number, not %s", value.c_str()), false;
    else
        ctx.slot = static_cast<int>(slot);
    return true;
}

bool is_option(const char *word)
{
    // "-5" is a (negative) value, not an option.
    return word[0] == '-' && word[1] != '\0' && !(word[1] >= '0' && word[1] <= '9');
}

std::string default_chassis()
{
    const char *sp = std::getenv(arksim::kSpEnv);
    if (sp != nullptr && sp[0] != '\0')
        return absolute_path(arksim::chassis_of(sp));
    const char *home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "/root") + "/.arksim";
}

// A program started without stdin/stdout/stderr would otherwise write its
// output into the first files it opens.
void keep_standard_fds_open()
{
    for (int fd = 0; fd < 3; ++fd)
        if (::fcntl(fd, F_GETFD) < 0)
            ::open("/dev/null", O_RDWR);
}

}  // namespace

int main(int argc, char **argv)
{
    keep_standard_fds_open();
    std::span<char *> in(argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0));
    Context ctx;
    Args args;
    bool help = false;
    const Command *cmd = nullptr;
    std::size_t i = 0;
    for (; i < in.size() && cmd == nullptr; ++i) {
        if (is_option(in[i])) {
            if (!parse_opt(in, i, {}, ctx, args, help))
                return 2;
        } else if (std::strcmp(in[i], "help") == 0) {
            help = true;
        } else if ((cmd = find_command(in[i])) == nullptr) {
            return usage_error("unknown command %s (see arksim --help)", in[i]);
        }
    }
    if (cmd == nullptr) {
        if (help) {
            main_help();
            return 0;
        }
        return usage_error("no command given (see arksim --help)");
    }
    set_command_name(cmd->name);
    bool rest = false;
    for (; i < in.size(); ++i) {
        if (rest || !is_option(in[i])) {
            args.pos.push_back(in[i]);
            rest = rest || cmd->rest_is_command;
        } else if (std::strcmp(in[i], "--") == 0) {
            rest = true;
        } else if (!parse_opt(in, i, cmd->opts, ctx, args, help)) {
            return 2;
        }
    }
    if (help) {
        command_help(*cmd);
        return 0;
    }
    if (ctx.chassis.empty())
        ctx.chassis = default_chassis();
    return cmd->run(ctx, args);
}
