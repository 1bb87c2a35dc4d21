#pragma once
// What `vantor --help` prints.

namespace vantor::cli {

inline constexpr char kHelp[] = R"(Usage: vantor [LINK] [OPTIONS] COMMAND [ARGS]

Runs one operation of the controller's terminal from a script, on one board or on many
boards at once. Options may stand anywhere on the line; commands may be typed in any case.

LINK, one of:
  --host TARGET             UDP (repeat it, or use --hosts, for several boards)
  --hosts FILE              targets one per line: a line's first field, # comments; a
                            line that starts with / names a serial port
  --remote-port N           UDP port of the controllers (default 111)
  --serial PORT             a serial device path (or COMn on Windows); repeat it for
                            several ports, each a link of its own
  --baud N                  1200, 2400, 4800, 9600, 19200 or 115200 (default 115200)
TARGET: ADDRESS (or a host name), a.b.c.d-e (last octet d to e) or a.b.c.d/n (a network,
  without its network and broadcast addresses), each with :PORT at the end if wanted;
  at most 65536 in all, duplicates run once; with --gateway or --rtu, TARGET@LIST (and
  PORT@LIST) names the devices on that link (10.0.0.5@1-32, /dev/ttyUSB0@3,7)
  --exclude TARGETS         leave these out (comma-separated; no :PORT: on every port)
framing (default plain):
  --gateway LIST            every line as an "MDC N," gateway line to device N
  --rtu LIST                every line as a Modbus RTU frame (function 67) to device N
                            (serial only); replies reassembled and CRC-checked, frames
                            of another device dropped
LIST: Modbus addresses 1 to 247, as N, A-B or a list (1-8,12); the devices of targets
  without @LIST. Each device is a board named LINK@N; a link's devices (a bus) run one
  after another, in address order, the next once the line has been quiet for --idle. A
  single --gateway value that is no number goes out as typed

COMMANDS
  ver                       print the controller's answer to VER
  new                       erase the program
  send LINE...              send each line, print each answer
  download FILE             send a .bas program (at most 2048 lines) line by line, each
                            released by "OK"; the lines are added to the program the
                            board holds
    --new                   erase the program first (NEW, and wait for its answer)
    --verify                read the listing back and compare it with the file; with
                            --new the board then holds exactly the file
    --if-changed            read the listing first: a board that holds exactly the
                            file is left alone ("changed": false); any other is erased,
                            downloaded and verified
  diff FILE                 read the listing and compare it with FILE (case and runs of
                            blanks aside): print "same" or a unified diff (listing
                            against file, the board named in its header); status 1 when
                            a board differs. A listing that cannot be read is a failure
  save FILE [--verify]      capture the listing into FILE; --verify reads it again until
                            a reading is the same as the longest one before
  put LOCAL [NAME] [--verify]   copy a local file to the flash disk (plain UDP only);
                            --verify reads it back and compares the bytes
    --if-changed            read the flash file first, and write only when it differs
                            or is missing
  get NAME [LOCAL]          copy a file from the flash disk (plain UDP only)
  ports                     list the serial ports present (--json: one object per port)
  scan TARGET...            send VER to every target and list those that answer (target,
                            round trip ms, first line of the version), a hosts file as
                            it stands; --all lists the silent ones too. Status 0 when one
                            answered, 3 when none did. Over UDP the targets are asked at
                            --rate a second (default 1000), not --jobs at a time; with
                            --gateway or --rtu, every device of every link named.
                            Defaults --timeout 1 --retries 1
  term                      the console on this terminal: type lines for the board, see
                            its replies as they come; Ctrl-T ? lists the keys (download,
                            save, VER, NEW, put, get, timestamps, hex, quit). With stdin
                            not a terminal, sends each input line and waits for its
                            answer as send does
    --prefix-key KEY        the key before a command key (default ^T)
    --timestamps, -t        each received line after the time it came
    --hex                   received bytes in hexadecimal, as they came
    --no-reconnect          end (status 4) when the serial port goes away, rather than
                            wait for it to come back

OPTIONS
  --timeout SECONDS         how long to wait for each answer (default 5)
  --idle MS                 quiet time that ends the answer to ver, new and send, and
                            that a line sent again waits for the answers to all its
                            copies (default 300)
  --retries N               a line without an answer in time is sent again (a program
                            line, VER, the listing) or waited for (a flash line) up to N
                            more times; a flash transfer starts over at most N times in
                            all (default 2)
  --jobs N                  boards served at once (default 32, at most 4096); on buses,
                            buses at once
  --max-failures N|N%       once N boards (or N% of them, rounded up) have failed, start
                            no more: those running finish, the rest are "skipped"
  --canary K                run the first K boards alone, the others only if all of
                            them succeed
  --failed-to FILE          write the boards that failed or were skipped as a --hosts
                            file, to rerun exactly those
  --json                    one JSON object per board on stdout; those of new, send,
                            download and put say "changed" (whether a line that may alter
                            the board went out), those of diff "same" and, when not,
                            "first_difference" and "diff"
  --log FILE                append to FILE as the window's Terminal.log does: the lines
                            that send, term and the flash transfers send, and every byte
                            received as it came; with several boards one log per
                            board, named as save names its files
  --codepage NAME           windows-1251 (default), latin1 or cp866
  --help, --version

save and get write into a temporary file beside FILE and put it in FILE's place only when
the command succeeds: a failed command leaves FILE as it was, and keeps what it received
as FILE.partial. With several boards, save and get write one file per board: the board's
address goes before the file's extension (prog.bas becomes prog-10.0.0.5_111.bas).

On a terminal, long commands show their progress on stderr; with several boards, a live
view: one row per board running and the totals. A table on stderr closes a run of several
boards: failures first, the boards with the same message in one group, the boards that
--if-changed left alone as "unchanged".

Exit status: 0 every board did it; 1 a controller refused or denied (over UDP a login
prompt ends any command), or --verify found a difference; 2 a usage error or a local file
that cannot be read or written; 3 a board gave no answer in time; 4 a link could not be
opened or went away; 130 interrupted (Ctrl-C). With several boards, the highest, and at
least 1 when a board was skipped.
)";

} // namespace vantor::cli
