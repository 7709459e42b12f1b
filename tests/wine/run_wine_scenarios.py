#!/usr/bin/env python3
"""Runs the end-to-end scenarios of tests/scenarios under Wine: the same
scenario folders and expected files as on Linux, with kelhost.exe,
vezuzaziz.dll and the test rasapi32.dll (the stand-in's simulated remote
access service built for Windows) of one Windows build (32-bit under 32-bit
Wine, 64-bit under wine64), against Wine's own registry, file system,
console and Service Control Manager.

    run_wine_scenarios.py --build DIR --entryfile PATH [--wine LOADER] [--bits 32|64]
                          [--windows-version win98|win95|nt40|winxp|win10|...]
                          [--rasapi32 test|wine]
                          [run_scenarios.py options: --only NAME, --keep, --scenarios DIR]

It adds the platform "wine" to tests/scenarios/run_scenarios.py and runs it
with --platform wine; loading, comparison and the expected differences of
each scenario are that runner's. A scenario's differences for "wine" hold in
every Wine run; those for "wine-platform1" or "wine-platform2" only when the
Windows version that Wine reports (--windows-version, set in the prefix's
HKCU\Software\Wine\Version before the first run) is of that family.
WINEPREFIX must name a prefix made beforehand (scripts/run-wine-stage makes
one per run).

--rasapi32 wine runs with Wine's own rasapi32 instead of the test library
(meaningful for scenarios that need no remote access answers, e.g. hang-up
with no connection).
"""

import argparse
import os
import pwd
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "scenarios"))

sys.dont_write_bytecode = True  # no __pycache__ in the scenarios folder
import run_scenarios as rs  # noqa: E402  (the shared runner)

SETTINGS_KEY = r"HKEY_CURRENT_USER\Software\Kel"
HELPER_TIMEOUT_S = 60
# The service check's message numbers, in the order the plug-in checks them.
SERVICE_MESSAGES = (("RASMAN", 90), ("SIMPTCP", 91), ("TAPISRV", 92))
# The platform id that GetVersionExA reports for each Windows version Wine
# can be set to: 1 for the Windows 95 family, 2 for the NT family.
PLATFORM_IDS = {"win95": 1, "win98": 1, "winme": 1, "nt351": 2, "nt40": 2, "win2k": 2, "winxp": 2,
                "win2003": 2, "vista": 2, "win7": 2, "win8": 2, "win81": 2, "win10": 2}


# The locale whose code pages Wine takes for a world's OEM code page (its
# ANSI code page follows: 1251 for 866).
LOCALES = {866: "ru_RU.UTF-8"}


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class WinePlatform:
    """kelhost.exe and the plug-in of one Windows build under Wine, one run directory each:

        ROOT/bin     kelhost.exe and (unless Wine's own is wanted) rasapi32.dll;
                     the program's directory is searched first for the DLLs
                     the plug-in imports
        ROOT/plugin  the plug-in directory: vezuzaziz.dll, its texts, files
        ROOT/world   the world the test rasapi32.dll reads (WINAPI_WORLD)
    """

    name = "wine"

    def __init__(self, opts):
        self.opts = opts
        self.build = os.path.abspath(opts.build)
        self.wine = opts.wine
        self.wineserver = os.path.join(os.path.dirname(opts.wine), "wineserver")
        self.pointer_bits = opts.bits
        self.platform_id = PLATFORM_IDS[opts.windows_version]
        self.names = ("wine", f"wine-platform{self.platform_id}")
        self.use_test_rasapi32 = opts.rasapi32 == "test"
        self.locales = {}
        self.prefix = os.environ.get("WINEPREFIX", "")
        if not self.prefix or not os.path.isdir(self.prefix):
            raise SystemExit("run_wine_scenarios: WINEPREFIX must name an existing Wine prefix")
        # One wineserver for the whole run (scripts/run-wine-stage starts it
        # persistent): a server that ends between two runs while the next
        # starts up can leave that run waiting.
        subprocess.run([self.wineserver, "-p"], env=dict(os.environ, WINEPREFIX=self.prefix), check=False)
        # The Windows version every program of the prefix is told.
        env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                   WINEDLLOVERRIDES="winealsa.drv=d;mscoree,mshtml=")
        done = self._wine(env, "reg", "add", r"HKEY_CURRENT_USER\Software\Wine", "/v", "Version", "/d",
                          opts.windows_version, "/f")
        if done.returncode != 0:
            raise SystemExit(f"run_wine_scenarios: cannot set Wine's Windows version to {opts.windows_version}")

    # ---- what run_scenarios asks of a platform ---------------------------

    def paths(self, root):
        return rs.Paths(root, windows_path(os.path.join(root, "world")), windows_path(os.path.join(root, "plugin")))

    def install_plugin(self, paths):
        bin_dir = os.path.join(paths.root, "bin")
        os.makedirs(bin_dir, exist_ok=True)
        self._copy(os.path.join(self.build, "kelhost.exe"), bin_dir)
        if self.use_test_rasapi32:
            self._copy(os.path.join(self.build, "testras", "rasapi32.dll"), bin_dir)
        self._copy(os.path.join(self.build, "vezuzaziz.dll"), paths.plugin)
        lang = os.path.join(self.build, "vezuzaziz.lng")
        if not os.path.exists(lang):
            raise rs.ScenarioError(f"{lang} is missing: build the Windows preset first")
        rs.install_language_files(lang, paths.plugin)

    def user_name(self, paths):
        """What GetUserNameA reports under Wine: the Unix account's name."""
        return pwd.getpwuid(os.getuid()).pw_name

    def pack_entries(self, plain_path, out_path):
        # The entry file's format is the same on every platform.
        subprocess.run([self.opts.entryfile, "pack", plain_path, out_path], check=True)

    def unpack_entries(self, path):
        done = subprocess.run([self.opts.entryfile, "unpack", path], check=True, stdout=subprocess.PIPE)
        return done.stdout.decode("latin-1")

    def open_windows(self, paths, titles):
        raise rs.ScenarioError("open windows are not simulated under Wine (mark the scenario wine=skip)")

    def run(self, paths, scenario):
        env = self._env(paths)
        self._load_registry(env, paths)
        bin_dir = os.path.join(paths.root, "bin")
        kelhost = [self.wine, os.path.join(bin_dir, "kelhost.exe"),
                   "--plugin", paths.plugdir_windows + "\\vezuzaziz.dll",
                   *rs.language_option(scenario, paths.plugdir_windows + "\\vezuzaziz.lng"),
                   "--script", windows_path(os.path.join(paths.root, "script")),
                   "--transcript", windows_path(os.path.join(paths.root, "transcript"))] + scenario.args
        # Under a pseudo-terminal the console calls (PeekConsoleInputA for
        # Esc, SetConsoleTitleA) work; with a pipe for standard input they
        # fail with error 6.
        command = ["script", "-qec", " ".join(rs.shlex.quote(c) for c in kelhost), "/dev/null"]
        try:
            done = subprocess.run(command, cwd=paths.root, env=env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=rs.RUN_TIMEOUT_S)
        except subprocess.TimeoutExpired:
            return None, f"kelhost.exe did not end within {rs.RUN_TIMEOUT_S} s"
        self._comparable_transcript(paths, scenario)
        return done.returncode, done.stderr.decode("latin-1")

    def registry_values(self, paths):
        """{'key\\name' (lower case): 'dword:0000001c' | 'sz:text' | 'hex:..'} from Wine's registry."""
        out = self._wine(self._env(paths), "reg", "query", SETTINGS_KEY, "/s").stdout.decode("latin-1")
        values, key = {}, None
        for line in out.replace("\r", "").split("\n"):
            if line.startswith("HKEY_"):
                key = line.strip()
                continue
            m = re.match(r"^    (.*?)    (REG_[A-Z_]+)(?:    (.*))?$", line)
            if not (m and key):
                continue
            name, kind, data = m.group(1), m.group(2), m.group(3) or ""
            if name == "(Default)":
                name = ""
            if kind == "REG_DWORD":
                data = "dword:%08x" % int(data, 16)
            elif kind == "REG_SZ":
                data = "sz:" + data
            elif kind == "REG_BINARY":
                data = "hex:" + ",".join(data[i:i + 2].lower() for i in range(0, len(data), 2))
            else:
                data = kind.lower() + ":" + data
            values[(key + "\\" + name).lower()] = data
        return values

    def journal(self, paths):
        # Only the test rasapi32.dll journals here (dial, hangup, phonebook).
        path = os.path.join(paths.world, "journal.log")
        return rs.split_lines(rs.read_text(path)) if os.path.exists(path) else []

    def cleanup(self):
        pass

    def __del__(self):
        if getattr(self, "locale_root", None):
            rs.shutil.rmtree(self.locale_root, ignore_errors=True)

    # ---- helpers ---------------------------------------------------------

    @staticmethod
    def _copy(src, dst_dir):
        if not os.path.exists(src):
            raise rs.ScenarioError(f"{src} is missing: build the Windows preset first")
        rs.shutil.copy(src, dst_dir)

    def _env(self, paths):
        env = dict(os.environ)
        env.pop("WINAPI_FAIL_WRITE", None)
        env["WINEPREFIX"] = self.prefix
        env["WINEDEBUG"] = "-all"
        # The test rasapi32.dll beside kelhost.exe is only loaded when native
        # is preferred; "b" keeps Wine's own. ALSA stays quiet without a sound card.
        ras = "rasapi32=n,b" if self.use_test_rasapi32 else "rasapi32=b"
        env["WINEDLLOVERRIDES"] = ras + ";winealsa.drv=d;mscoree,mshtml="
        env["WINAPI_WORLD"] = paths.world_windows
        # Wine takes its ANSI and OEM code pages from the locale: a world of
        # other code pages than 1252 and 437 runs in a locale that has them.
        locale = LOCALES.get(rs.oem_codepage(paths))
        if locale:
            env["LOCPATH"] = self._locale_dir(locale)
            env["LC_ALL"] = locale
            env.pop("LANG", None)
        return env

    def _locale_dir(self, locale):
        """A folder with the locale compiled (localedef), made once per run."""
        if locale not in self.locales:
            if not hasattr(self, "locale_root"):
                self.locale_root = rs.tempfile.mkdtemp(prefix="vez_wine_locale_")
            name, charmap = locale.split(".")
            try:
                done = subprocess.run(["localedef", "-i", name, "-f", charmap, os.path.join(self.locale_root, locale)],
                                      stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                why = done.stdout.decode("latin-1")
            except OSError as e:
                why = str(e)
            if not os.path.isdir(os.path.join(self.locale_root, locale)):
                raise rs.ScenarioError(f"localedef cannot make the locale {locale} (the Debian package locales "
                                       f"has it): {why}")
            self.locales[locale] = self.locale_root
        return self.locales[locale]

    def _wine(self, env, *args):
        """Runs a Wine tool (reg, regedit); a hang is the scenario's failure, not the runner's end."""
        try:
            return subprocess.run([self.wine, *args], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=HELPER_TIMEOUT_S)
        except subprocess.TimeoutExpired as e:
            raise rs.ScenarioError(f"wine {' '.join(args)} did not end within {HELPER_TIMEOUT_S} s") from e

    def _load_registry(self, env, paths):
        """Wine's registry as the scenario's world has it: the plug-in's key
        removed, then the world's registry.reg imported."""
        self._wine(env, "reg", "delete", SETTINGS_KEY, "/f")
        reg = os.path.join(paths.world, "registry.reg")
        if os.path.exists(reg):
            done = self._wine(env, "regedit", "/S", windows_path(reg))
            if done.returncode != 0:
                raise rs.ScenarioError(f"regedit could not import {reg} (status {done.returncode}): "
                                       + done.stderr.decode("latin-1"))

    def _services_logged_only_here(self, paths):
        """The message numbers of the services whose start Wine logs but the
        stand-in's world does not: Wine has none of the three services, so it
        logs every one on the NT family; the stand-in skips those its world
        lists as running, and all of them on platform id 1. On platform id 1
        Wine logs none."""
        running = set()
        services = os.path.join(paths.world, "services.ini")
        if os.path.exists(services):
            ini = rs.configparser.RawConfigParser(strict=False, inline_comment_prefixes=(";",))
            ini.read(services, encoding="latin-1")
            running = {s.upper() for s in ini.sections() if ini.get(s, "state", fallback="").strip() == "running"}
        if self.platform_id != 2:
            return set()
        platform1 = False
        system = os.path.join(paths.world, "system.ini")
        if os.path.exists(system):
            ini = rs.configparser.RawConfigParser(strict=False, inline_comment_prefixes=(";",))
            ini.read(system, encoding="latin-1")
            platform1 = ini.get("system", "platform_id", fallback="2").strip() != "2"
        return {n for name, n in SERVICE_MESSAGES if name in running or platform1}

    def _comparable_transcript(self, paths, scenario):
        """Rewrites the transcript into the form the expected files use (the
        run's own is kept beside it as transcript.wine):
          - the library's name: the expected transcripts name the Linux
            library, vezuzaziz.so, where Windows loads vezuzaziz.dll;
          - with the scenario's "services" difference, the message texts
            fetched for service start lines that only Wine logs are left out,
            as the runner leaves the lines themselves out of the log."""
        path = os.path.join(paths.root, "transcript")
        if not os.path.exists(path):
            return
        lines = rs.split_lines(rs.read_text(path))
        rs.write_text(path + ".wine", "".join(line + "\n" for line in lines))
        drop = self._services_logged_only_here(paths) if scenario.allows(self.names, "services") else set()
        pattern = re.compile(r"^GetMessageText (\d+) -> ")
        names = {name for name, n in SERVICE_MESSAGES if n in drop}
        # The same start lines as the event log shows them in a --viewer-dump.
        dumped = re.compile(r"^\d\d/\d\d  \d\d:\d\d:\d\d  Starting the service (\w+)$")
        kept = []
        viewing = False
        for line in lines:
            viewing = line == "--- view" or (viewing and line != "--- end")
            m = pattern.match(line)
            if m and int(m.group(1)) in drop:
                continue
            d = dumped.match(line) if viewing else None
            if d and d.group(1) in names:
                continue
            kept.append(line.replace('"<plugdir>\\\\vezuzaziz.dll"', '"<plugdir>\\\\vezuzaziz.so"'))
        rs.write_text(path, "".join(line + "\n" for line in kept))


def main(argv):
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--build", "--win64-build", dest="build", required=True)
    parser.add_argument("--entryfile", required=True)
    parser.add_argument("--wine", default=os.environ.get("WINE64", "/usr/lib/wine/wine64"))
    parser.add_argument("--bits", type=int, choices=(32, 64), default=64)
    parser.add_argument("--windows-version", choices=sorted(PLATFORM_IDS), default="win10")
    parser.add_argument("--rasapi32", choices=("test", "wine"), default="test")
    opts, rest = parser.parse_known_args(argv)
    build = os.path.abspath(opts.build)

    rs.PLATFORMS["wine"] = lambda shared_opts: WinePlatform(argparse.Namespace(**{**vars(shared_opts), **vars(opts)}))
    return rs.main(["--platform", "wine",
                    "--kelhost", os.path.join(build, "kelhost.exe"),
                    "--plugin", os.path.join(build, "vezuzaziz.dll"),
                    "--lang", os.path.join(build, "vezuzaziz.lng"),
                    "--entryfile", opts.entryfile] + rest)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
