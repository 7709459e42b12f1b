#!/usr/bin/env python3
"""Runs the end-to-end scenarios: the real plug-in library in kelhost --script,
against a fresh stand-in world, compared with each scenario's expected files.

    run_scenarios.py --kelhost PATH --plugin PATH --lang PATH --entryfile PATH
                     [--platform linux] [--only NAME] [--update] [--keep]
                     [--scenarios DIR] [--list]

The format of a scenario folder is described in docs/scenarios.md. Exit
status: 0 when every scenario run passed, 1 when one failed, 2 for bad usage.

The platform-specific work (preparing the directories, running kelhost,
reading the registry and the journal back) lives in one class per platform;
everything else (loading, placeholders, filters, comparison, --update) is
shared, so another platform only adds such a class.
"""

import argparse
import configparser
import difflib
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

# Named kinds of difference a scenario may allow on a platform; see
# docs/scenarios.md. Each maps to what the comparison leaves out there.
DIFFERENCE_KINDS = {
    "services": "the service start lines (messages 90-92) in the log and the 'service start' journal lines",
    "registry-file": "the registry is the platform's own: expected/registry is checked by value queries",
    "journal": "of expected/journal only the remote access service's lines (dial, hangup, phonebook) are checked",
    "skip": "the scenario is not run on this platform",
}

SERVICE_LOG_LINES = {
    "Starting the service RASMAN",
    "Starting the service SIMPTCP",
    "Starting the service TAPISRV",
}
# Their message numbers, for the texts of the other languages.
SERVICE_MESSAGES = ("90", "91", "92")

# The journal lines of the remote access service, the only ones a platform
# without the stand-in's journal can still give (its test service writes them).
RAS_JOURNAL_WORDS = {"dial", "hangup", "phonebook"}
RUN_TIMEOUT_S = 120

# The placeholders of the record sizes in the expected transcripts, the
# line each appears in and its key in record_sizes.ini.
SIZE_PLACEHOLDERS = (
    ("@HOSTSTARTUPINFO_SIZE@", re.compile(r"^(SetStartupInfo size=)(\d+)(?= |$)"), "HostStartupInfo"),
    ("@PLUGININFO_SIZE@", re.compile(r"^(GetPluginInfo -> size=)(\d+)(?= |$)"), "PluginInfo"),
)


def record_sizes(bits):
    """{placeholder: size} of the build with `bits`-bit pointers (record_sizes.ini)."""
    ini = configparser.RawConfigParser(strict=True)
    ini.optionxform = str
    with open(os.path.join(HERE, "record_sizes.ini"), encoding="utf-8") as f:
        ini.read_file(f)
    section = ini[f"{bits}-bit"]
    return {placeholder: section[key] for placeholder, _, key in SIZE_PLACEHOLDERS}


def fill_sizes(lines, sizes):
    """The expected transcript with the build's record sizes filled in."""
    out = []
    for line in lines:
        for placeholder, pattern, _ in SIZE_PLACEHOLDERS:
            if pattern.match(line.replace(placeholder, "0")):
                line = line.replace(placeholder, sizes[placeholder], 1)
        out.append(line)
    return out


def name_sizes(lines, sizes):
    """A run's transcript with the build's record sizes written as their
    placeholders (for --update); a size of another build stays a number."""
    out = []
    for line in lines:
        for placeholder, pattern, _ in SIZE_PLACEHOLDERS:
            m = pattern.match(line)
            if m and m.group(2) == sizes[placeholder]:
                line = m.group(1) + placeholder + line[m.end():]
        out.append(line)
    return out


class ScenarioError(Exception):
    """A scenario folder that does not follow the format."""


class Scenario:
    def __init__(self, path):
        self.path = path
        self.name = os.path.basename(path)
        ini = configparser.RawConfigParser(strict=True)
        ini.optionxform = str
        try:
            with open(os.path.join(path, "scenario.ini"), encoding="utf-8") as f:
                ini.read_file(f)
        except (OSError, configparser.Error) as e:
            raise ScenarioError(f"scenario.ini: {e}") from e
        if not ini.has_section("scenario"):
            raise ScenarioError("scenario.ini has no [scenario] section")
        sec = ini["scenario"]
        self.about = sec.get("about", "")
        self.args = shlex.split(sec.get("args", ""))
        try:
            self.exit = int(sec.get("exit", "0"))
        except ValueError as e:
            raise ScenarioError("scenario.ini: exit= is not a number") from e
        self.log = sec.get("log", "vezuzaziz.log")
        self.windows = [t.strip() for t in sec.get("windows", "").split("|") if t.strip()]
        self.differences = {}
        if ini.has_section("differences"):
            for platform, value in ini["differences"].items():
                kinds = [k.strip() for k in re.split(r"[,\s]+", value) if k.strip()]
                for kind in kinds:
                    if kind not in DIFFERENCE_KINDS:
                        raise ScenarioError(f"unknown difference kind '{kind}' for {platform}")
                self.differences[platform] = set(kinds)
        if not os.path.isfile(os.path.join(path, "script")):
            raise ScenarioError("no script")

    def allows(self, platform, kind):
        """Whether the platform (a name, or the names a platform answers to)
        allows that kind of difference."""
        names = (platform,) if isinstance(platform, str) else platform
        return any(kind in self.differences.get(n, set()) for n in names)

    def expected(self, name):
        return os.path.join(self.path, "expected", name)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def read_text(path):
    return read_bytes(path).decode("latin-1")


def write_text(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(text.encode("latin-1"))


def split_lines(text):
    """Lines without their ends (LF or CRLF); no last empty line."""
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return [line[:-1] if line.endswith("\r") else line for line in lines]


class Paths:
    """The places of one run, in the host's and in the plug-in's (Windows) form."""

    def __init__(self, root, world_windows, plugdir_windows):
        self.root = root
        self.world = os.path.join(root, "world")
        self.plugin = os.path.join(root, "plugin")
        self.world_windows = world_windows  # no trailing backslash
        self.plugdir_windows = plugdir_windows  # no trailing backslash

    def substitutions(self, for_reg_file=False):
        """Placeholder -> text, for files copied into the run."""
        world_win, plug_win = self.world_windows, self.plugdir_windows
        if for_reg_file:
            world_win, plug_win = world_win.replace("\\", "\\\\"), plug_win.replace("\\", "\\\\")
        return {"@WORLD@": world_win, "@PLUGDIR@": plug_win, "@WORLDHOST@": self.world}

    def normalise(self, text, escaped):
        """Puts the placeholders back into an output, longest path first."""
        pairs = [(self.plugdir_windows, "@PLUGDIR@"), (self.world_windows, "@WORLD@"),
                 (self.plugin, "@PLUGDIR@"), (self.world, "@WORLDHOST@")]
        pairs.sort(key=lambda p: -len(p[0]))
        for concrete, placeholder in pairs:
            if escaped:
                text = text.replace(concrete.replace("\\", "\\\\"), placeholder)
            text = text.replace(concrete, placeholder)
        return text


def normalise_user(line, user):
    """The system's user name where the plug-in proposes it as a login."""
    if not user:
        return line
    line = line.replace(f'data="{user}"', 'data="@USER@"')
    return "Login=@USER@" if line == f"Login={user}" else line


def install_language_files(lang, plugin_dir):
    """The language file as vezuzaziz.lng, and the other languages' files
    (*.lng of its folder) under their own names, for --language to choose."""
    shutil.copyfile(lang, os.path.join(plugin_dir, "vezuzaziz.lng"))
    folder = os.path.dirname(os.path.abspath(lang))
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if name.endswith(".lng") and not os.path.samefile(path, lang):
            shutil.copyfile(path, os.path.join(plugin_dir, name))


def language_option(scenario, lang_path):
    """--lang with the installed file, unless the scenario chooses a language
    itself (args with --language), which --lang would override."""
    return [] if "--language" in scenario.args else ["--lang", lang_path]


def oem_codepage(paths):
    """The world's OEM code page (system.ini oem_codepage; 437 by default)."""
    ini = configparser.RawConfigParser(strict=False, inline_comment_prefixes=(";",))
    try:
        ini.read(os.path.join(paths.world, "system.ini"), encoding="latin-1")
        return int(ini.get("system", "oem_codepage", fallback="437").strip())
    except (configparser.Error, ValueError):
        return 437


def command_line_args(scenario, codepage):
    """The scenario's args as the bytes a console host hands on: text typed
    on its command line is in the OEM code page."""
    return [arg.encode(f"cp{codepage}") for arg in scenario.args]


class LinuxPlatform:
    """kelhost and the plug-in built for Linux, with the winapi stand-in's world."""

    name = "linux"
    names = ("linux",)
    pointer_bits = 64

    def __init__(self, opts):
        self.opts = opts
        self.processes = []

    def paths(self, root):
        def windows(p):
            return "Z:" + p.replace("/", "\\")
        return Paths(root, windows(os.path.join(root, "world")), windows(os.path.join(root, "plugin")))

    def user_name(self, paths):
        """What GetUserNameA reports in this world: system.ini's user, else "User"."""
        ini = configparser.RawConfigParser(strict=False)
        try:
            ini.read(os.path.join(paths.world, "system.ini"), encoding="latin-1")
            return ini.get("system", "user", fallback="User").split(";")[0].strip() or "User"
        except configparser.Error:
            return "User"

    def install_plugin(self, paths):
        os.symlink(os.path.abspath(self.opts.plugin), os.path.join(paths.plugin, "vezuzaziz.so"))
        install_language_files(self.opts.lang, paths.plugin)

    def pack_entries(self, plain_path, out_path):
        subprocess.run([self.opts.entryfile, "pack", plain_path, out_path], check=True)

    def unpack_entries(self, path):
        done = subprocess.run([self.opts.entryfile, "unpack", path], check=True, stdout=subprocess.PIPE)
        return done.stdout.decode("latin-1")

    def open_windows(self, paths, titles):
        """Starts one idle process per window title and lists it in windows.ini."""
        lines = []
        for title in titles:
            proc = subprocess.Popen(["sleep", str(RUN_TIMEOUT_S)], stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.processes.append(proc)
            lines.append(f"{title}={proc.pid}")
        ini = os.path.join(paths.world, "windows.ini")
        existing = read_text(ini) if os.path.exists(ini) else ""
        if "[windows]" not in existing:
            existing += ("\n" if existing and not existing.endswith("\n") else "") + "[windows]\n"
        write_text(ini, existing + "".join(line + "\n" for line in lines))

    def run(self, paths, scenario):
        env = dict(os.environ, WINAPI_WORLD=paths.world)
        env.pop("WINAPI_FAIL_WRITE", None)
        command = [self.opts.kelhost, "--plugin", os.path.join(paths.plugin, "vezuzaziz.so")]
        command += language_option(scenario, os.path.join(paths.plugin, "vezuzaziz.lng"))
        command += ["--script", os.path.join(paths.root, "script"),
                    "--transcript", os.path.join(paths.root, "transcript")]
        command += command_line_args(scenario, oem_codepage(paths))
        try:
            done = subprocess.run(command, cwd=paths.root, env=env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=RUN_TIMEOUT_S)
            return done.returncode, done.stderr.decode("latin-1")
        except subprocess.TimeoutExpired:
            return None, f"kelhost did not end within {RUN_TIMEOUT_S} s"

    def registry_values(self, paths):
        """{'KEY\\name' (lower case): 'type:data'} from the world's registry.reg."""
        path = os.path.join(paths.world, "registry.reg")
        return parse_reg_file(read_text(path)) if os.path.exists(path) else {}

    def journal(self, paths):
        path = os.path.join(paths.world, "journal.log")
        lines = split_lines(read_text(path)) if os.path.exists(path) else []
        # The processes behind the windows this run opened get their names.
        pids = {str(proc.pid): f"@WINDOW{i + 1}@" for i, proc in enumerate(self.processes)}
        return [" ".join(pids.get(word, word) for word in line.split(" ")) for line in lines]

    def cleanup(self):
        for proc in self.processes:
            if proc.poll() is None:
                proc.send_signal(signal.SIGTERM)
            proc.wait()
        self.processes = []


def unescape_reg_string(s):
    out, i = [], 0
    while i < len(s):
        if s[i] == "\\" and i + 1 < len(s):
            out.append(s[i + 1])
            i += 2
        else:
            out.append(s[i])
            i += 1
    return "".join(out)


def parse_reg_file(text):
    """REGEDIT4 text -> {'key\\name' lower-cased: 'dword:0000001c' | 'sz:text' | 'hex(N):..'}."""
    values, key = {}, None
    logical, pending = [], ""
    for line in split_lines(text):
        if pending:
            line = pending + line.strip()
            pending = ""
        if line.endswith("\\") and "=hex" in line:
            pending = line[:-1]
            continue
        logical.append(line)
    for line in logical:
        if line.startswith("[") and line.endswith("]"):
            key = line[1:-1]
            continue
        if key is None or "=" not in line:
            continue
        m = re.match(r'^(@|"((?:[^"\\]|\\.)*)")=(.*)$', line)
        if not m:
            continue
        name = "" if m.group(1) == "@" else unescape_reg_string(m.group(2))
        data = m.group(3)
        if data.startswith('"') and data.endswith('"'):
            data = "sz:" + unescape_reg_string(data[1:-1])
        values[(key + "\\" + name).lower()] = data
    return values


def registry_expectation(text):
    """expected/registry lines -> [(full name, expected)]."""
    pairs = []
    for line in split_lines(text):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        name, sep, value = line.partition("=")
        if not sep:
            raise ScenarioError(f"expected/registry: no '=' in {line!r}")
        pairs.append((name, value))
    return pairs


def copy_tree(src, dst, paths, skip=()):
    """Copies a scenario's folder in name order, filling in the placeholders of text files."""
    for dirpath, dirnames, filenames in os.walk(src):
        dirnames.sort()
        rel = os.path.relpath(dirpath, src)
        target_dir = os.path.join(dst, rel) if rel != "." else dst
        os.makedirs(target_dir, exist_ok=True)
        for filename in sorted(filenames):
            if rel == "." and filename in skip:
                continue
            source = os.path.join(dirpath, filename)
            data = read_bytes(source)
            if b"@WORLD" in data or b"@PLUGDIR@" in data:
                text = data.decode("latin-1")
                for placeholder, value in paths.substitutions(filename.endswith(".reg")).items():
                    text = text.replace(placeholder, value)
                data = text.encode("latin-1")
            with open(os.path.join(target_dir, filename), "wb") as f:
                f.write(data)


def log_lines(paths, scenario):
    path = os.path.join(paths.plugin, scenario.log)
    lines = []
    if os.path.isfile(path):
        # Each line starts with its 17-character time stamp.
        lines = [paths.normalise(line[17:], escaped=False) for line in split_lines(read_text(path))]
    return lines


def service_log_lines(plugin_dir):
    """The service start lines in every language installed in the plug-in
    directory (messages 90-92 of each *.lng), the English ones too."""
    texts = set(SERVICE_LOG_LINES)
    for name in os.listdir(plugin_dir):
        if name.endswith(".lng"):
            for line in split_lines(read_text(os.path.join(plugin_dir, name))):
                number, _, text = line.partition("=")
                if number in SERVICE_MESSAGES:
                    texts.add(text)
    return texts


def drop_service_lines(lines, service_lines):
    return [line for line in lines if line not in service_lines]


def is_subsequence(wanted, got):
    it = iter(got)
    return all(any(w == g for g in it) for w in wanted)


def diff(expected, actual, label):
    return "".join(difflib.unified_diff([line + "\n" for line in expected], [line + "\n" for line in actual],
                                        fromfile=f"expected/{label}", tofile=f"actual/{label}"))


def run_scenario(scenario, platform, opts):
    """Returns a list of failure texts (empty: passed)."""
    name = platform.names
    sizes = record_sizes(platform.pointer_bits)
    root = tempfile.mkdtemp(prefix=f"vez_scenario_{scenario.name}_")
    paths = platform.paths(root)
    failures = []
    try:
        os.makedirs(paths.world)
        os.makedirs(paths.plugin)
        if os.path.isdir(os.path.join(scenario.path, "world")):
            copy_tree(os.path.join(scenario.path, "world"), paths.world, paths)
        if os.path.isdir(os.path.join(scenario.path, "plugin")):
            copy_tree(os.path.join(scenario.path, "plugin"), paths.plugin, paths, skip=("entries.txt",))
        plain = os.path.join(scenario.path, "plugin", "entries.txt")
        if os.path.isfile(plain):
            platform.pack_entries(plain, os.path.join(paths.plugin, "vezuzaziz.ini"))
        platform.install_plugin(paths)
        copy_script = read_text(os.path.join(scenario.path, "script"))
        for placeholder, value in paths.substitutions().items():
            copy_script = copy_script.replace(placeholder, value)
        write_text(os.path.join(root, "script"), copy_script)
        if scenario.windows:
            platform.open_windows(paths, scenario.windows)

        status, stderr = platform.run(paths, scenario)
        if status != scenario.exit:
            failures.append(f"kelhost exit status {status}, expected {scenario.exit}\n{stderr}")

        transcript_path = os.path.join(root, "transcript")
        transcript = split_lines(read_text(transcript_path)) if os.path.exists(transcript_path) else []
        user = platform.user_name(paths)
        transcript = [normalise_user(paths.normalise(line, escaped=True), user) for line in transcript]
        log = log_lines(paths, scenario)
        entry_file = os.path.join(paths.plugin, "vezuzaziz.ini")
        entries = None
        if os.path.exists(entry_file):
            entries = [normalise_user(line, user) for line in split_lines(platform.unpack_entries(entry_file))]
        journal = [paths.normalise(line, escaped=False) for line in platform.journal(paths)]
        registry = platform.registry_values(paths)

        if opts.update:
            update_expected(scenario, name_sizes(transcript, sizes), log, entries, journal, registry)
            return failures

        # The transcript, whole, with the record sizes of the build that ran.
        expected_transcript = fill_sizes(split_lines(read_text(scenario.expected("transcript"))), sizes)
        if transcript != expected_transcript:
            failures.append(diff(expected_transcript, transcript, "transcript"))

        # The log, without time stamps.
        if os.path.exists(scenario.expected("log")):
            expected_log = split_lines(read_text(scenario.expected("log")))
            got_log = log
            if scenario.allows(name, "services"):
                services = service_log_lines(paths.plugin)
                expected_log, got_log = drop_service_lines(expected_log, services), drop_service_lines(got_log, services)
            if got_log != expected_log:
                failures.append(diff(expected_log, got_log, "log"))

        # The entry file, unpacked.
        if os.path.exists(scenario.expected("entries.txt")):
            expected_entries = split_lines(read_text(scenario.expected("entries.txt")))
            if entries is None:
                failures.append("the entry file vezuzaziz.ini is missing after the run")
            elif entries != expected_entries:
                failures.append(diff(expected_entries, entries, "entries.txt"))

        # Selected registry values.
        if os.path.exists(scenario.expected("registry")):
            for full, want in registry_expectation(read_text(scenario.expected("registry"))):
                got = registry.get(full.lower(), "-")
                if got != want:
                    failures.append(f"registry {full}: expected {want}, got {got}")

        # Journal lines that must appear, in order.
        if os.path.exists(scenario.expected("journal")):
            wanted = split_lines(read_text(scenario.expected("journal")))
            got_journal = journal
            if scenario.allows(name, "services"):
                wanted = [w for w in wanted if not w.startswith("service start ")]
            if scenario.allows(name, "journal"):
                wanted = [w for w in wanted if w.split(" ", 1)[0] in RAS_JOURNAL_WORDS]
            if not is_subsequence(wanted, got_journal):
                failures.append("journal lines missing or out of order:\n" + diff(wanted, got_journal, "journal"))
    except ScenarioError as e:
        failures.append(str(e))
    finally:
        platform.cleanup()
        if opts.keep or (failures and os.environ.get("VEZ_KEEP_TEST_DIRS")):
            print(f"  kept: {root}")
        else:
            shutil.rmtree(root, ignore_errors=True)
    return failures


def update_expected(scenario, transcript, log, entries, journal, registry):
    """Rewrites the expected files from a run, for a person to review."""
    def lines_text(lines):
        return "".join(line + "\n" for line in lines)

    write_text(scenario.expected("transcript"), lines_text(transcript))
    write_text(scenario.expected("log"), lines_text(log))
    plain = os.path.join(scenario.path, "plugin", "entries.txt")
    before = split_lines(read_text(plain)) if os.path.isfile(plain) else None
    if entries is not None and (os.path.exists(scenario.expected("entries.txt")) or entries != before):
        write_text(scenario.expected("entries.txt"), lines_text(entries))
    if os.path.exists(scenario.expected("journal")):
        # Title lines repeat the log's texts; the log is compared already.
        write_text(scenario.expected("journal"), lines_text(j for j in journal if not j.startswith("title ")))
    if os.path.exists(scenario.expected("registry")):
        wanted = registry_expectation(read_text(scenario.expected("registry")))
        write_text(scenario.expected("registry"),
                   lines_text(f"{full}={registry.get(full.lower(), '-')}" for full, _ in wanted))


def find_scenarios(directory):
    names = sorted(d for d in os.listdir(directory)
                   if os.path.isfile(os.path.join(directory, d, "scenario.ini")))
    return [os.path.join(directory, d) for d in names]


PLATFORMS = {"linux": LinuxPlatform}


def main(argv):
    parser = argparse.ArgumentParser(description="Run the end-to-end scenarios through kelhost --script.")
    parser.add_argument("--kelhost")
    parser.add_argument("--plugin")
    parser.add_argument("--lang")
    parser.add_argument("--entryfile")
    parser.add_argument("--platform", default="linux", choices=sorted(PLATFORMS))
    parser.add_argument("--only", action="append", help="run only this scenario (may be repeated)")
    parser.add_argument("--update", action="store_true", help="rewrite the expected files from a run")
    parser.add_argument("--keep", action="store_true", help="keep each run's directory")
    parser.add_argument("--scenarios", default=HERE, help="the folder of scenario folders")
    parser.add_argument("--list", action="store_true", help="print the scenario names and end")
    opts = parser.parse_args(argv)

    paths = find_scenarios(opts.scenarios)
    if opts.list:
        for p in paths:
            print(os.path.basename(p))
        return 0
    for required in ("kelhost", "plugin", "lang", "entryfile"):
        if not getattr(opts, required):
            parser.error(f"--{required} is required")
        setattr(opts, required, os.path.abspath(getattr(opts, required)))
    if opts.only:
        wanted = set(opts.only)
        unknown = wanted - {os.path.basename(p) for p in paths}
        if unknown:
            parser.error("no such scenario: " + ", ".join(sorted(unknown)))
        paths = [p for p in paths if os.path.basename(p) in wanted]

    platform = PLATFORMS[opts.platform](opts)
    passed = failed = skipped = 0
    for path in paths:
        try:
            scenario = Scenario(path)
        except ScenarioError as e:
            print(f"FAIL {os.path.basename(path)}: {e}")
            failed += 1
            continue
        if scenario.allows(platform.names, "skip"):
            print(f"SKIP {scenario.name}")
            skipped += 1
            continue
        failures = run_scenario(scenario, platform, opts)
        if failures:
            failed += 1
            print(f"FAIL {scenario.name}: {scenario.about}")
            for f in failures:
                print(f.rstrip("\n"))
        else:
            passed += 1
            print(f"{'UPDATED' if opts.update else 'ok'}   {scenario.name}")
    summary = f"{passed} passed, {failed} failed"
    if skipped:
        summary += f", {skipped} skipped"
    print(summary)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
