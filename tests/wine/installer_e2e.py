#!/usr/bin/python3
"""The prepared installer end to end, under Wine.

For each job: updater writes the job's install_info.ini into a copy of
installer.exe, then `installer.exe /S /D=<folder>` installs it under Wine,
with LANG=fr_FR.UTF-8 so that Wine's ANSI code page is 1252. Each case
checks the lines printed (whole transcripts where they are fixed), the exit
code, the installed files byte for byte, and that a failure leaves the
destination as it was. Stand-ins built with MinGW show what the installer
started: register_probe.dll records its DllRegisterServer call, and
open_probe.exe records being opened. scripted_installer.exe, the installer's
run with scripted answers in place of its windows, gives No and Cancel.

  installer_e2e.py --arch x86_64|i686 --updater UPDATER --installer EXE
                   --probes DIR --source REPO --work DIR [--windowed]

--windowed runs the windowed cases instead: drive_installer.exe works the
installer's and the uninstaller's real windows on the display of DISPLAY
(a virtual one from xvfb-run), as an end user answers them.

DIR holds register_probe.dll, open_probe.exe and scripted_installer.exe for
ARCH. Exit status 77 (a skip for CTest) when Wine for ARCH cannot run
here or a locale it needs (French, Russian, Japanese) is missing; `bash
scripts/deps.sh` installs them.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import traceback
from pathlib import Path

SKIP = 77
LOCALE = "fr_FR.UTF-8"


def windows_path(path):
    """Wine's Z: drive is the Unix root."""
    return "Z:" + str(path).replace("/", "\\")


def find_tool(candidates):
    for candidate in candidates:
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    return None


class Wine:
    def __init__(self, arch, prefix, source, windowed=False):
        self.arch = arch
        # The loader and how it runs here: native, emulated (32-bit Wine
        # through qemu-user) or none, with the reason.
        route = subprocess.run(["bash", str(source / "scripts" / "wine_route.sh"), arch],
                               capture_output=True, text=True, check=True).stdout.strip()
        self.route, _, detail = route.partition(" ")
        self.loader = detail if self.route != "none" else None
        self.why_not = detail if self.route == "none" else None
        self.server = find_tool(["/usr/lib/wine/wineserver64", "/usr/lib/wine/wineserver32",
                                 shutil.which("wineserver")])
        # Only the windowed cases see a display: the others must show no window.
        hidden = ("WAYLAND_DISPLAY", "LANGUAGE") if windowed else ("DISPLAY", "WAYLAND_DISPLAY",
                                                                   "LANGUAGE")
        self.env = {k: v for k, v in os.environ.items() if k not in hidden}
        self.env.update(WINEPREFIX=str(prefix), WINEDEBUG="-all",
                        # No Mono or Gecko download prompt: the first start must not wait.
                        WINEDLLOVERRIDES="mscoree,mshtml=", LANG=LOCALE, LC_ALL=LOCALE)
        self.prefix = prefix

    @property
    def emulated(self):
        """Under qemu-user a 32-bit crash reaches Wine as another exception
        (an illegal instruction): seen, but not with the code a kernel gives."""
        return self.route == "emulated"

    def unusable(self):
        """Why Wine cannot run here, or None."""
        if self.loader is None or self.server is None:
            return self.why_not or "no wineserver (bash scripts/deps.sh installs wine64)"
        try:
            probe = subprocess.run([self.loader, "--version"], capture_output=True, timeout=60)
        except OSError as error:
            return f"{self.loader} does not start: {error}"
        if probe.returncode != 0:
            return f"{self.loader} does not start: {probe.stderr.decode(errors='replace').strip()}"
        installed = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout
        for needed in ("fr_FR", "ru_RU", "ja_JP"):
            if f"{needed}.utf8" not in installed:
                return f"the locale {needed}.UTF-8 is missing (bash scripts/deps.sh generates it)"
        return None

    def run(self, arguments, cwd, extra_env=None, timeout=180, wrapper=()):
        """Output goes to files, not pipes: the programs Wine starts in the
        background (services.exe and its kin) keep the descriptors, and a
        pipe would not end before they do."""
        env = dict(self.env)
        env.update(extra_env or {})
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            run = subprocess.run(list(wrapper) + [self.loader] + arguments, cwd=cwd, env=env,
                                 stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                 timeout=timeout)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(run.args, run.returncode, out.read(), err.read())

    def boot(self):
        shutil.rmtree(self.prefix, ignore_errors=True)
        self.prefix.mkdir(parents=True)
        started = time.monotonic()
        self.start_server()
        self.run(["wineboot", "--init"], cwd="/")
        # A crashing program ends with its exception code, rather than
        # waiting in Wine's debugger (which a 32-bit crash under emulation
        # does until its time limit).
        self.run(["reg", "add", "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug",
                  "/v", "Auto", "/d", "0", "/f"], cwd="/")
        return time.monotonic() - started

    def start_server(self):
        """A persistent server keeps the prefix warm between the runs."""
        subprocess.run([self.server, "-p"], env=self.env, check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop(self):
        subprocess.run([self.server, "-k"], env=self.env, check=False, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def discard(self):
        """A prefix takes over a gigabyte, and a test run makes several: each
        goes once its suite is done, unless TAMSEL_KEEP_WINE_PREFIX=1 keeps
        it to look into."""
        if os.environ.get("TAMSEL_KEEP_WINE_PREFIX") != "1":
            shutil.rmtree(self.prefix, ignore_errors=True)


def tree(root):
    """Everything under root: relative path -> bytes, or None for a folder."""
    result = {}
    if not root.exists():
        return result
    for path in sorted(root.rglob("*")):
        key = path.relative_to(root).as_posix()
        result[key] = None if path.is_dir() else path.read_bytes()
    return result


UNINSTALLER = {"uninstall.exe", "uninstall.ini"}
ENTRY = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"


def uninstall_lines(d, key, entry=ENTRY):
    """What every install adds last: the uninstaller, its record, the entry."""
    return [f"wrote: {d}\\uninstall.exe", f"wrote: {d}\\uninstall.ini",
            f"uninstall entry: {entry}\\{key}"]


def without_uninstaller(files):
    return {k: v for k, v in files.items() if k not in UNINSTALLER}


def write_ini(folder, texts, extras, encoding="cp1252"):
    """The install-info file as the editor saves it, in code page 1252 (or
    in UTF-8, as an earlier editor saved it, for the updater to convert)."""
    lines = ["[Texts]", f"Name={texts['Name']}", f"VBName={texts['VBName']}",
             f"Title={texts['Title']}", f"Warning={texts['Warning']}", "[Files]",
             f"Filename={texts['Filename']}", f"Icon={texts.get('Icon', '')}", "[Misc]",
             f"RunAfterInstall={texts['RunAfterInstall']}"]
    if extras:
        lines += ["[Extrafiles]"] + extras
    (folder / "install_info.ini").write_bytes("".join(l + "\r\n" for l in lines).encode(encoding))


def carried_uninstaller(installer):
    """The uninstaller the installer carries (RT_RCDATA "UNINSTALLER"), as
    Python's pefile reads it; None without pefile or without one."""
    try:
        import pefile
    except ImportError:
        return None
    pe = pefile.PE(str(installer))
    for kind in getattr(pe, "DIRECTORY_ENTRY_RESOURCE", pefile.Structure("")).entries:
        for entry in kind.directory.entries if kind.id == 10 else []:
            if entry.name is not None and str(entry.name) == "UNINSTALLER":
                data = entry.directory.entries[0].data.struct
                return pe.get_data(data.OffsetToData, data.Size)
    return None


def signing_command(folder):
    """A [Sign] Command that signs with a throwaway certificate made in
    folder, and the osslsigncode verify line for a file; None without the
    tools."""
    if not shutil.which("osslsigncode") or not shutil.which("openssl"):
        return None
    key, cert = folder / "sign-key.pem", folder / "sign-cert.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=tamsel-test", "-keyout", str(key), "-out", str(cert)],
                   check=True, capture_output=True)
    command = (f"osslsigncode sign -certs '{cert}' -key '{key}' -in \"%1\" -out \"%1.signed\" "
               f">/dev/null && mv \"%1.signed\" \"%1\"")

    def verifies(path):
        return subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(path)],
                              capture_output=True).returncode == 0
    return command, verifies


def read_ini(path):
    """Key values and the Extrafiles lines of an install-info file."""
    values, extras, section = {}, [], None
    for raw in path.read_bytes().decode("cp1252").splitlines():
        line = raw.strip()
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1].lower()
        elif section == "extrafiles" and line:
            extras.append(line)
        elif "=" in line:
            key, _, value = line.partition("=")
            values[key.strip()] = value.strip()
    return values, extras


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


def expect_lines(actual, expected):
    if actual != expected:
        width = max(len(expected), len(actual))
        rows = []
        for i in range(width):
            a = actual[i] if i < len(actual) else "(none)"
            e = expected[i] if i < len(expected) else "(none)"
            rows.append(("   " if a == e else " ! ") + f"expected: {e}\n" +
                        ("   " if a == e else " ! ") + f"actual:   {a}")
        raise Failure("printed lines differ:\n" + "\n".join(rows))


def expect_same_tree(before, after, where):
    if before != after:
        added = sorted(set(after) - set(before))
        gone = sorted(set(before) - set(after))
        changed = sorted(k for k in set(before) & set(after) if before[k] != after[k])
        raise Failure(f"{where} changed: added {added}, removed {gone}, changed {changed}")


class Suite:
    def __init__(self, options):
        self.arch = options.arch
        self.updater = Path(options.updater).resolve()
        self.installer = Path(options.installer).resolve()
        self.probes = Path(options.probes).resolve()
        self.source = Path(options.source).resolve()
        self.work = Path(options.work).resolve()
        self.windowed = options.windowed
        self.wine = Wine(self.arch, self.work / "prefix", self.source, self.windowed)
        self.open_probe = self.work / "tools" / "open_probe.exe"

    @property
    def entry(self):
        """Where the entries of this architecture's plugins are: an x86 one on
        64-bit Windows has a key of its own."""
        wow64 = (self.wine.prefix / "drive_c" / "windows" / "syswow64").is_dir()
        return ENTRY.replace("Software\\", "Software\\Wow6432Node\\") \
            if self.arch == "i686" and wow64 else ENTRY

    # ---- one job ----------------------------------------------------------

    def job(self, name, installer=None):
        """A fresh folder for a case: job/ (the program folder) and dest/."""
        root = self.work / name
        shutil.rmtree(root, ignore_errors=True)
        (root / "job").mkdir(parents=True)
        shutil.copyfile(installer or self.installer, root / "job" / "installer.exe")
        return root

    def update(self, job, locale=LOCALE):
        # The updater's code page comes from the locale: the installer's,
        # not the caller's, whatever that is.
        env = {k: v for k, v in os.environ.items() if k != "TAMSEL_CODEPAGE"}
        env.update(LANG=locale, LC_ALL=locale)
        run = subprocess.run([str(self.updater)], cwd=job, input=b"\n", capture_output=True,
                             timeout=120, env=env)
        expect(b"Installer updated!" in run.stdout,
               f"updater did not finish: {run.stdout!r} {run.stderr!r}")

    def install(self, job, destination, extra_env=None, wrapper=(), arguments=None):
        """Runs the installer silently; returns its exit code and lines.
        Wine quotes an argument with blanks as Windows' argument quoting
        does: "/D=Z:\\a b"."""
        arguments = arguments or ["/S", "/D=" + windows_path(destination)]
        run = self.wine.run(["installer.exe"] + arguments, cwd=job, extra_env=extra_env,
                            wrapper=wrapper)
        try:
            text = run.stdout.decode("utf-8")
        except UnicodeDecodeError as error:
            raise Failure(f"the output is not UTF-8: {error}: {run.stdout!r}")
        return run.returncode, text.replace("\r\n", "\n").splitlines()

    def probe_env(self, root, fail_registration=False):
        env = {"REGISTER_PROBE_MARKER": windows_path(root / "registered.txt"),
               "OPEN_PROBE_MARKER": windows_path(root / "opened.txt")}
        if fail_registration:
            env["REGISTER_PROBE_FAIL"] = "1"
        return env

    def marker(self, path, wait=False):
        """A probe's marker lines. An opened program runs on after the
        installer has ended, so its marker may need a moment to appear."""
        deadline = time.monotonic() + 60
        while wait and not path.exists() and time.monotonic() < deadline:
            time.sleep(0.1)
        # A path cut at MAX_PATH may end inside a character: replaced.
        return (path.read_text(encoding="cp1252", errors="replace").splitlines()
                if path.exists() else [])

    # ---- the cases --------------------------------------------------------

    def case_demo_folder(self):
        """The demo program folder as demo/assemble.sh lays it out."""
        root = self.job("demo")
        job, dest = root / "job", root / "dest"
        subprocess.run(["bash", str(self.source / "demo" / "assemble.sh"), str(job), self.arch],
                       check=True, capture_output=True)
        self.update(job)
        values, extras = read_ini(job / "install_info.ini")
        expect(values["Name"] != values["Name"].encode("ascii", "replace").decode(),
               "the demo's Name should hold a non-ASCII letter")
        code, lines = self.install(job, dest, self.probe_env(root))
        title, d = values["Title"], windows_path(dest)
        print("  what installer.exe /S printed for the demo folder:")
        print("".join(f"  | {line}\n" for line in lines), end="")

        def size(name):
            return (job / name.replace("\\", "/")).stat().st_size

        expect_lines(lines, [
            f'question: {title}: Do you want to install the plugin "{values["Name"]}"? -> Yes',
            f"warning: {title}: {values['Warning']} -> OK",
            f"folder: {d}",
            f"created folder: {d}",
            f"created folder: {d}\\data",
            f"wrote: {d}\\{values['Filename']} ({size(values['Filename'])} bytes)",
        ] + [f"wrote: {d}\\{name} ({size(name)} bytes)" for name in extras] + [
            f"registered: {d}\\{values['Filename']} ({values['VBName']})",
        ] + uninstall_lines(d, values["VBName"], self.entry) + [
            f"not opened (silent): {d}\\{values['RunAfterInstall']}",
            f'message: {title}: The plugin "{values["Name"]}" was installed in {d}.',
        ])
        expect(code == 0, f"exit code {code}")
        for name in [values["Filename"]] + extras:
            path = name.replace("\\", "/")
            expect((dest / path).read_bytes() == (job / path).read_bytes(), f"{name} differs")
        expect(set(tree(dest)) ==
               {"plugin.dll", "plugin-readme.txt", "data", "data/notes.txt"} | UNINSTALLER,
               f"unexpected files: {sorted(tree(dest))}")
        # The demo plugin's DllRegisterServer writes its ProgID for the user.
        query = self.wine.run(["reg", "query", "HKCU\\Software\\Classes\\" + values["VBName"]],
                              cwd=root)
        expect(query.returncode == 0 and b"Demo plugin" in query.stdout,
               f"the ProgID is not registered: {query.stdout!r}")
        # The entry carries the demo plugin's version and company.
        view = "/reg:64" if self.arch == "x86_64" else "/reg:32"
        entry = self.wine.run(["reg", "query", ENTRY.replace("HKEY_LOCAL_MACHINE", "HKLM") +
                               "\\" + values["VBName"], view], cwd=root).stdout
        for value in (b"DisplayVersion    REG_SZ    1.2.0.0",
                      b"Publisher    REG_SZ    Demo Plugin Works"):
            expect(value in entry, f"no {value!r} in the entry: {entry!r}")
        # .txt files open with open_probe.exe in this prefix (see associate()),
        # but a silent run opens nothing.
        time.sleep(1)
        expect(not (root / "opened.txt").exists(), "a silent run opened the readme")

    def case_texts_in_each_code_page(self):
        """Texts typed in Unicode (a UTF-8 install-info file, as an earlier
        editor saved it) reach the installer in the ANSI code page of the
        locale, and read back through the loader and CP_ACP as typed: French
        under code page 1252, Russian under 1251."""
        for locale, texts in (
                ("fr_FR.UTF-8", {"Name": "Caf\u00e9 cr\u00e8me \u2014 \u0153uvre",
                                 "Title": "Installateur fran\u00e7ais"}),
                ("ru_RU.UTF-8", {"Name": "\u041f\u043b\u0430\u0433\u0438\u043d \u00ab\u0451\u0436\u00bb",
                                 "Title": "\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430"})):
            root = self.job("texts-" + locale[:2])
            job, dest = root / "job", root / "dest"
            # A DLL of the installer's architecture: the updater has nothing
            # to warn of but a text the code page cannot hold.
            shutil.copyfile(self.probes / "register_probe.dll", job / "plugin.dll")
            lines = ["[Texts]", f"Name={texts['Name']}", f"Title={texts['Title']}",
                     "[Files]", "Filename=plugin.dll"]
            (job / "install_info.ini").write_bytes("".join(l + "\r\n" for l in lines).encode())
            env = {k: v for k, v in os.environ.items() if k != "TAMSEL_CODEPAGE"}
            env.update(LANG=locale, LC_ALL=locale)
            run = subprocess.run([str(self.updater)], cwd=job, input=b"\n", capture_output=True,
                                 timeout=120, env=env)
            expect(b"Installer updated!" in run.stdout and run.stderr == b"",
                   f"updater under {locale}: {run.stdout!r} {run.stderr!r}")
            code, printed = self.install(job, dest, {"LANG": locale, "LC_ALL": locale})
            print(f"  under {locale}:")
            print("".join(f"  | {line}\n" for line in printed[:1]), end="")
            expect(code == 0, f"exit code {code} under {locale}: {printed}")
            expect(printed[:1] == [f'question: {texts["Title"]}: Do you want to install the '
                                   f'plugin "{texts["Name"]}"? -> Yes'],
                   f"under {locale} the installer read {printed[:1]}")

    def case_names_registration_and_opening(self):
        """Absolute, relative, "." and non-ASCII names, a missing extra
        file, a replaced file, a registered plugin, a program opened."""
        root = self.job("names")
        job, dest = root / "job", root / "dest"
        accented, accented_windows = "donn\u00e9es/\u00e9t\u00e9.txt", "donn\u00e9es\\\u00e9t\u00e9.txt"
        files = {
            "bin/probe.dll": (self.probes / "register_probe.dll").read_bytes(),
            "docs/guide.txt": b"the new guide\r\n",
            "docs/big.bin": os.urandom(1024 * 1024 + 7),
            # An absolute name keeps its last component; the updater reads
            # it here, below a folder named "C:".
            "C:/Windows/abs.txt": b"absolute\r\n",
            "tools/open_probe.exe": (self.probes / "open_probe.exe").read_bytes(),
            accented: "\u00e9t\u00e9\r\n".encode("cp1252"),
        }
        for name, data in files.items():
            # The updater takes the ANSI names to UTF-8, the file system's encoding.
            path = job / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
        extras = ["docs\\guide.txt", "docs\\big.bin", "C:\\Windows\\abs.txt", "docs\\gone.txt",
                  ".\\tools\\open_probe.exe", accented_windows]
        # "—" is 0x97 in code page 1252 and a control character in Latin-1.
        texts = {"Name": "Sonde \u00e0 registre", "VBName": "Probe.Server",
                 "Title": "Installateur \u2014 sonde", "Warning": "",
                 "Filename": "bin\\probe.dll", "RunAfterInstall": "tools\\open_probe.exe"}
        write_ini(job, texts, extras)
        (dest / "docs").mkdir(parents=True)
        (dest / "docs" / "guide.txt").write_bytes(b"the old guide\r\n")
        self.update(job)
        code, lines = self.install(job, dest, self.probe_env(root))
        t, d = texts["Title"], windows_path(dest)
        size = {name: len(data) for name, data in files.items()}
        expect_lines(lines, [
            f'question: {t}: Do you want to install the plugin "{texts["Name"]}"? -> Yes',
            f"folder: {d}",
            "missing: docs\\gone.txt: not in this installer, not installed",
            f"created folder: {d}\\tools",
            f"created folder: {d}\\donn\u00e9es",
            f"wrote: {d}\\probe.dll ({size['bin/probe.dll']} bytes)",
            f"replaced: {d}\\docs\\guide.txt ({size['docs/guide.txt']} bytes)",
            f"wrote: {d}\\docs\\big.bin ({size['docs/big.bin']} bytes)",
            f"wrote: {d}\\abs.txt ({size['C:/Windows/abs.txt']} bytes)",
            f"wrote: {d}\\tools\\open_probe.exe ({size['tools/open_probe.exe']} bytes)",
            f"wrote: {d}\\{accented_windows} ({size[accented]} bytes)",
            f"registered: {d}\\probe.dll (Probe.Server)",
        ] + uninstall_lines(d, "Probe.Server", self.entry) + [
            f"not opened (silent): {d}\\tools\\open_probe.exe",
            f'message: {t}: The plugin "{texts["Name"]}" was installed in {d}. '
            "Not in this installer, so not installed: docs\\gone.txt.",
        ])
        expect(code == 0, f"exit code {code}")
        installed = {"probe.dll": "bin/probe.dll", "docs/guide.txt": "docs/guide.txt",
                     "docs/big.bin": "docs/big.bin", "abs.txt": "C:/Windows/abs.txt",
                     "tools/open_probe.exe": "tools/open_probe.exe",
                     # Wine keeps Unix names in UTF-8.
                     accented: accented}
        for where, name in installed.items():
            expect((dest / where).read_bytes() == files[name], f"{where} differs from {name}")
        expect(not (dest / "docs" / "gone.txt").exists(), "a missing file was made up")
        leftovers = [k for k in tree(dest) if k.endswith(".tmp")]
        expect(not leftovers, f"temporary files left: {leftovers}")
        registered = self.marker(root / "registered.txt")
        expect(registered == [f"DllRegisterServer {d}\\probe.dll"],
               f"DllRegisterServer was not called once for probe.dll: {registered}")
        # Not silent, the run-after program is opened: through the scripted seam.
        shutil.copyfile(self.probes / "scripted_installer.exe", job / "installer.exe")
        self.update(job)
        shown = windows_path(root / "shown")
        code, lines = self.run_scripted(job, "yy", root / "shown", self.probe_env(root))
        expect(code == 0 and f"opened: {shown}\\tools\\open_probe.exe" in lines,
               f"exit code {code}: {lines}")
        # Under qemu-user the started 32-bit program itself may die in Wine's
        # own 32-bit side before it writes: there the line is the proof.
        opened = self.marker(root / "opened.txt", wait=True)
        expect(self.wine.emulated or (len(opened) == 1 and opened[0].startswith(
               f"opened {shown}\\tools\\open_probe.exe")),
               f"open_probe.exe was not opened: {opened}")

    def failing_job(self, name, extras, texts=None, installer=None):
        """A job whose files all exist: plugin.dll, readme.txt, data\\notes.txt."""
        root = self.job(name, installer)
        job = root / "job"
        (job / "data").mkdir()
        (job / "plugin.dll").write_bytes(os.urandom(3000))
        (job / "readme.txt").write_bytes(b"readme\r\n")
        (job / "data" / "notes.txt").write_bytes(b"notes\r\n")
        values = {"Name": "Failing plugin", "VBName": "", "Title": "Failing installer",
                  "Warning": "", "Filename": "plugin.dll", "RunAfterInstall": "readme.txt"}
        values.update(texts or {})
        write_ini(job, values, extras)
        self.update(job)
        return root, values["Title"]

    def expect_failure(self, root, destination, title, reason, extra_env=None, wrapper=()):
        """Installs into destination, expecting failure with one error line
        that starts with reason, and everything under root left as it was
        (the job's folder aside, which only the updater changed)."""
        before = tree(root)
        code, lines = self.install(root / "job", destination, extra_env, wrapper)
        after = tree(root)
        for marker in ("registered.txt", "opened.txt"):
            after.pop(marker, None)
        expect(code == 1, f"exit code {code}, lines {lines}")
        errors = [l for l in lines if l.startswith("error: ")]
        expect(len(errors) == 1, f"not one error line: {lines}")
        expect(errors[0].startswith(f"error: {title}: {reason}") and
               errors[0].endswith(" The plugin was not installed."),
               f"error line: {errors[0]!r}, expected to start {reason!r}")
        expect(lines[-1] == errors[0], f"the error is not the last line: {lines}")
        expect_same_tree(before, after, str(root))
        return lines

    def case_parent_name_refused(self):
        root, title = self.failing_job("parent", ["readme.txt", "..\\escape.txt"])
        # The updater read "..\escape.txt" from beside the job folder, where
        # the refused name would also have led from dest: it stays as it is.
        (root / "escape.txt").write_bytes(b"outside\n")
        self.update(root / "job")
        self.expect_failure(root, root / "dest", title,
                            'The file name "..\\escape.txt" leads out of the install folder')
        expect(not (root / "dest").exists(), "dest was made")

    def case_folder_cannot_be_made(self):
        root, title = self.failing_job("unwritable", ["readme.txt"])
        (root / "blocker").write_bytes(b"a file, so no folder can be made below it\n")
        dest = windows_path(root / "blocker" / "dest")
        self.expect_failure(root, root / "blocker" / "dest", title,
                            f"The folder {dest} cannot be used: "
                            f"{windows_path(root / 'blocker')} is a file.")

    def case_read_only_folder(self):
        """A folder that cannot be written, even by root: a read-only bind
        mount in a mount namespace of the installer's own."""
        if subprocess.run(["unshare", "-m", "true"], capture_output=True).returncode != 0:
            print("  (read_only_folder: no mount namespace here, so no read-only folder)")
            return
        root, title = self.failing_job("read-only", ["readme.txt"])
        dest = root / "dest"
        dest.mkdir()
        (dest / "old.txt").write_bytes(b"was here before\n")
        read_only = ["unshare", "-m", "sh", "-c",
                     'mount --bind "$0" "$0" && mount -o remount,bind,ro "$0" && exec "$@"',
                     str(dest)]
        # Wine's server opens the files, so it must see the mount too: this
        # run starts a server of its own inside the namespace.
        self.wine.stop()
        try:
            self.expect_failure(root, dest, title,
                                f"Could not write {windows_path(dest)}\\plugin.dll: ",
                                wrapper=read_only)
        finally:
            self.wine.stop()
            self.wine.start_server()

    def case_file_in_the_way_of_a_folder(self):
        root, title = self.failing_job("file-in-the-way", ["readme.txt", "data\\notes.txt"])
        dest = root / "dest"
        dest.mkdir()
        (dest / "data").write_bytes(b"a file where the installer wants a folder\n")
        self.expect_failure(root, dest, title,
                            f"Could not create the folder {windows_path(dest)}\\data: "
                            "a file of that name is in the way.")

    def case_folder_in_the_way_of_a_file(self):
        """Fails while renaming into place: what was renamed is taken back."""
        root, title = self.failing_job("folder-in-the-way", ["readme.txt"])
        dest = root / "dest"
        (dest / "readme.txt").mkdir(parents=True)
        (dest / "readme.txt" / "inside.txt").write_bytes(b"kept\n")
        d = windows_path(dest)
        lines = self.expect_failure(root, dest, title,
                                    f"Could not write {d}\\readme.txt: "
                                    "a folder of that name is in the way.")
        expect(f"removed: {d}\\plugin.dll" in lines, f"plugin.dll not taken back: {lines}")

    def case_file_operations_fail(self):
        """Failures the disk will not give on demand, made by the scripted
        installer's stand-in (TAMSEL_INSTALLER_FAIL, TAMSEL_INSTALLER_RACE):
        exit 1, the message, and a rollback that leaves everything as it
        was, but for the earlier readme kept where the message says, or a
        folder another program made meanwhile, which is not the run's."""
        old = b"the readme from before\r\n"
        # (what, environment, the error after the title, a regex: {d} is dest)
        rows = [
            ("moving in fails, and so does putting the original back",
             {"TAMSEL_INSTALLER_FAIL": "move:readme.txt"},
             r"Could not write {d}\\readme\.txt: .+\. Could not put back the earlier "
             r"{d}\\readme\.txt, which is kept as {d}\\(tam[0-9a-f]{{12}}\.tmp): .+\."),
            ("a file that cannot be looked at is no missing file",
             {"TAMSEL_INSTALLER_FAIL": "attributes:readme.txt"},
             r"Could not look at {d}\\readme\.txt: .+\."),
            ("a folder that cannot be looked at is no missing folder",
             {"TAMSEL_INSTALLER_FAIL": "attributes:data"}, r"Could not look at {d}\\data: .+\."),
            ("a folder made meanwhile by another program stays",
             {"TAMSEL_INSTALLER_RACE": "data", "TAMSEL_INSTALLER_FAIL": "move:notes.txt"},
             r"Could not write {d}\\data\\notes\.txt: .+\."),
        ]
        for i, (what, env, reason) in enumerate(rows):
            try:
                root, title = self.failing_job(f"file-fault-{i}", ["readme.txt", "data\\notes.txt"],
                                               installer=self.probes / "scripted_installer.exe")
                dest = root / "dest"
                dest.mkdir()
                (dest / "readme.txt").write_bytes(old)
                before = tree(root)
                code, lines = self.run_scripted(root / "job", "yy", dest, env)
                first = next((k for k, l in enumerate(lines) if l.startswith("error: ")), None)
                expect(code == 1 and first is not None, f"exit code {code}, lines {lines}")
                error = " ".join(lines[first:])
                pattern = reason.format(d=re.escape(windows_path(dest)))
                match = re.fullmatch(f"error: {title}: {pattern} The plugin was not installed\\.",
                                     error)
                expect(match, f"error: {error!r}, expected {pattern!r}")
                if "TAMSEL_INSTALLER_RACE" in env:
                    before["dest/data"] = None
                if match.groups():
                    before["dest/" + match.group(1)] = before.pop("dest/readme.txt")
                expect_same_tree(before, tree(root), str(root))
            except Failure as failure:
                raise Failure(f"{what}: {failure}")

    def case_registration_fails(self):
        """A server that fails, crashes, ends the process, hangs in
        DllRegisterServer (under a time limit shortened here to 3 s) or has
        none: DllUnregisterServer where its code ran, then a full rollback
        with the replaced readme back byte for byte, and exit 1. Each row
        runs in this program's child and through the registration helper's
        route, which TAMSEL_INSTALLER_TEST_HELPER=1 opens to a plugin of the
        installer's own architecture."""
        # Under qemu-user a 32-bit crash reaches Wine as another exception.
        crash = "it crashed in DllRegisterServer (exception 0x"
        rows = [("1", "DllRegisterServer failed (0x80004005, "),
                ("crash", crash + ("" if self.wine.emulated else "C0000005).")),
                ("exit", "it ended the program in DllRegisterServer (exit code 0)."),
                ("hang", "DllRegisterServer did not return within 3 seconds."),
                ("no export", "it has no DllRegisterServer.")]
        for helper in (False, True):
            for mode, reason in rows:
                try:
                    self.registration_fails(mode, reason, helper)
                except Failure as failure:
                    route = "the helper's route" if helper else "the child"
                    raise Failure(f"{route}, REGISTER_PROBE_FAIL={mode}: {failure}")

    def registration_fails(self, mode, reason, helper):
        root = self.job(f"register-fails-{mode.replace(' ', '-')}-{int(helper)}")
        job, dest = root / "job", root / "dest"
        (job / "data").mkdir()
        plugin = "probe_helper.dll" if mode == "no export" else "register_probe.dll"
        shutil.copyfile(self.probes / plugin, job / "probe.dll")
        (job / "readme.txt").write_bytes(b"the new readme\r\n")
        (job / "data" / "notes.txt").write_bytes(b"notes\r\n")
        texts = {"Name": "Probe", "VBName": "Probe.Server", "Title": "Probe installer",
                 "Warning": "", "Filename": "probe.dll", "RunAfterInstall": "readme.txt"}
        write_ini(job, texts, ["readme.txt", "data\\notes.txt"])
        self.update(job)
        dest.mkdir()
        (dest / "readme.txt").write_bytes(b"the readme from before\r\n")
        env = dict(self.probe_env(root), REGISTER_PROBE_FAIL=mode,
                   TAMSEL_INSTALLER_REGISTER_SECONDS="3")
        if helper:
            env["TAMSEL_INSTALLER_TEST_HELPER"] = "1"
        d = windows_path(dest)
        lines = self.expect_failure(root, dest, "Probe installer",
                                    f"Could not register {d}\\probe.dll as Probe.Server: {reason}",
                                    env)
        ran = mode != "no export"  # the server's code ran: it is unregistered
        expect_lines(lines[:-1], [
            'question: Probe installer: Do you want to install the plugin "Probe"? -> Yes',
            f"folder: {d}",
            f"created folder: {d}\\data",
            f"wrote: {d}\\probe.dll ({(job / 'probe.dll').stat().st_size} bytes)",
            f"replaced: {d}\\readme.txt (16 bytes)",
            f"wrote: {d}\\data\\notes.txt (7 bytes)",
        ] + [f"unregistered: {d}\\probe.dll"] * ran + [
            f"removed: {d}\\data\\notes.txt",
            f"restored: {d}\\readme.txt",
            f"removed: {d}\\probe.dll",
            f"removed folder: {d}\\data",
        ])
        expect(self.marker(root / "registered.txt") == [f"DllRegisterServer {d}\\probe.dll",
                                                        f"DllUnregisterServer {d}\\probe.dll"] * ran,
               "DllRegisterServer, then DllUnregisterServer, were not called")
        expect(not (root / "opened.txt").exists(), "a failed install opened its file")

    def case_where_silent_installs(self):
        """/S without /D= installs into the folder of this plugin's earlier
        install, saying so in a "previous install:" line, else into Program
        Files in the plugin's sub-folder, never into the current folder; a
        relative /D= is refused with nothing written."""
        root = self.job("where-silent-installs")
        job, dest = root / "job", root / "dest"
        (job / "plugin.dll").write_bytes(b"MZ plugin")
        write_ini(job, {"Name": "Where", "VBName": "", "Title": "Where", "Warning": "",
                        "Filename": "plugin.dll", "RunAfterInstall": ""}, [])
        self.update(job)
        before = tree(root)
        code, lines = self.install(job, None, arguments=["/S", "/D=relative\\dir"])
        expect(code == 1 and lines[-1].startswith(
            "error: Where: The folder relative\\dir is no full path: "), f"{code}: {lines}")
        expect_same_tree(before, tree(root), str(root))

        def uninstall(folder):
            run = self.wine.run([folder + "\\uninstall.exe", "/S"], cwd=root)
            expect(run.returncode == 0, f"uninstall.exe in {folder}: {run.stdout!r}")
            time.sleep(1)  # it removes its own file once it has ended

        code, lines = self.install(job, None, arguments=["/S"])
        folder = next((l[len("folder: "):] for l in lines if l.startswith("folder: ")), "")
        expect(code == 0 and re.fullmatch(r"C:\\Program Files( \(x86\))?\\Where", folder) and
               not any(l.startswith("previous install:") for l in lines), f"{code}: {lines}")
        uninstall(folder)
        code, lines = self.install(job, dest)
        expect(code == 0, f"{code}: {lines}")
        code, lines = self.install(job, None, arguments=["/S"])
        d = windows_path(dest)
        expect(code == 0 and lines[1:3] == [f"previous install: {d}", f"folder: {d}"] and
               sorted(tree(dest)) == ["plugin.dll", "uninstall.exe", "uninstall.ini"],
               f"{code}: {lines}")
        uninstall(d)

    def case_upgrade(self):
        """A second release in the same folder: the previous plugin is
        unregistered as its record says before the new one is registered;
        when the new one fails to register, the previous files come back and
        the previous plugin is registered again."""
        root = self.job("upgrade")
        job, dest = root / "job", root / "dest"
        probe = (self.probes / "register_probe.dll").read_bytes()
        write_ini(job, {"Name": "Probe", "VBName": "Probe.Upgrade", "Title": "Upgrade",
                        "Warning": "", "Filename": "probe.dll", "RunAfterInstall": ""}, [])
        d, env = windows_path(dest), self.probe_env(root)
        calls = []
        # (what, the new plugin, exit code, lines that must be there, its calls)
        for what, plugin, exit_code, said, called in (
                ("the first release", probe, 0, [], ["DllRegisterServer"]),
                ("the second", probe, 0, [f"unregistered the previous release: {d}\\probe.dll",
                                          f"registered: {d}\\probe.dll (Probe.Upgrade)"],
                 ["DllUnregisterServer", "DllRegisterServer"]),
                ("a third that cannot register", (self.probes / "probe_helper.dll").read_bytes(),
                 1, [f"unregistered the previous release: {d}\\probe.dll",
                     f"restored: {d}\\probe.dll",
                     f"registered again: {d}\\probe.dll (Probe.Upgrade)"],
                 ["DllUnregisterServer", "DllRegisterServer"])):
            (job / "probe.dll").write_bytes(plugin)
            self.update(job)
            code, lines = self.install(job, dest, env)
            calls += [f"{call} {d}\\probe.dll" for call in called]
            expect(code == exit_code and all(line in lines for line in said) and
                   self.marker(root / "registered.txt") == calls and
                   (dest / "probe.dll").read_bytes() == probe,
                   f"{what}: exit code {code}: {lines}, {self.marker(root / 'registered.txt')}")
        run = self.wine.run([windows_path(dest / "uninstall.exe"), "/S"], cwd=root, extra_env=env)
        expect(run.returncode == 0, f"uninstall: {run.stdout!r}")

    def case_host_holds_the_plugin(self):
        """A running program holds the plugin. Installed over, the old copy,
        which cannot be deleted yet, goes to the temporary folder, never
        stays in the plugin's, and is deleted at the next restart; removed,
        the plugin is deleted at the next restart. Both say so last and end
        with 3010. The x86-64 host and plugin serve both installers: 64-bit
        Wine runs them natively wherever the test runs."""
        root = self.job("host")
        job, dest = root / "job", root / "dest"
        probes = self.probes.parent / "x86_64"
        shutil.copyfile(probes / "register_probe.dll", job / "probe.dll")
        write_ini(job, {"Name": "Held", "VBName": "Probe.Held", "Title": "Held", "Warning": "",
                        "Filename": "probe.dll", "RunAfterInstall": ""}, [])
        self.update(job)
        d, env = windows_path(dest), self.probe_env(root)
        code, lines = self.install(job, dest, env)
        expect(code == 0, f"the first install: exit code {code}: {lines}")
        restart = "Restart Windows to finish."
        # Linux keeps the low byte of an exit code: 3010 arrives as 194.
        needs_restart = 3010 % 256

        def hold():
            held = root / "holding.txt"
            host = subprocess.Popen(
                ["/usr/lib/wine/wine64", str(probes / "host_probe.exe"), f"{d}\\probe.dll",
                 windows_path(held)], env=self.wine.env, stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 60
            while not held.exists() and host.poll() is None and time.monotonic() < deadline:
                time.sleep(0.1)
            expect(held.exists(), "the host program did not load the plugin")
            return host, held

        def release(host, held):
            held.unlink(missing_ok=True)
            host.wait(timeout=60)

        host, held = hold()
        try:
            code, lines = self.install(job, dest, env)
            expect(code == needs_restart and
                   f"in use, deleted at the next restart: the old {d}\\probe.dll" in lines and
                   lines[-1].endswith(restart), f"installed over: exit code {code}: {lines}")
            expect(sorted(tree(dest)) == ["probe.dll", "uninstall.exe", "uninstall.ini"],
                   f"left in the plugin's folder: {sorted(tree(dest))}")
        finally:
            release(host, held)
        host, held = hold()
        try:
            run = self.wine.run([windows_path(dest / "uninstall.exe"), "/S"], cwd=root,
                                extra_env=env)
            lines = run.stdout.decode("utf-8").replace("\r\n", "\n").splitlines()
            expect(run.returncode == needs_restart and
                   f"in use, removed at the next restart: {d}\\probe.dll" in lines and
                   lines[-1].endswith(restart), f"removed: exit code {run.returncode}: {lines}")
            expect(self.wine.run(["reg", "query", f"{ENTRY}\\Probe.Held", "/reg:64"],
                                 cwd=root).returncode != 0, "the entry is still there")
        finally:
            release(host, held)

    def case_programs_that_hold_files(self):
        """Programs that hold files the install replaces or the uninstall
        removes are named (through the scripted seam, in place of the
        Restart Manager), with Retry, which asks again, and Continue."""
        root, job, dest = self.scripted_job("holders", "Holders")
        held = {"TAMSEL_INSTALLER_IN_USE": "plugin.dll:Host app"}
        ask = ("in use: Holders: These programs use files that the {} {}: Host app. Close them "
               "and choose Retry, or choose Continue: Windows then finishes when it restarts.")
        code, lines = self.run_scripted(job, "yy", dest, held)
        expect(code == 0 and not any(l.startswith("in use:") for l in lines),
               f"a first install replaces nothing: {code}: {lines}")
        for answers, answer in (("yyy", "-> Retry"), ("yyn", "-> Continue")):
            code, lines = self.run_scripted(job, answers, dest, held)
            asked = [l for l in lines if l.startswith("in use:")]
            expect(code == 0 and asked == [ask.format("install", "replaces") + " " + answer],
                   f"{answer}: {code}: {lines}")
        run = self.wine.run([windows_path(dest / "uninstall.exe"), "yn", "-"], cwd=root,
                            extra_env=held)
        lines = run.stdout.decode("utf-8").replace("\r\n", "\n").splitlines()
        expect(run.returncode == 0 and
               ask.format("uninstall", "removes") + " -> Continue" in lines,
               f"uninstall: {run.returncode}: {lines}")

    def case_usage_and_log(self):
        """/? prints the usage (exit 0) in the installer and in the
        uninstaller; /LOG=file holds every line a silent run prints, in
        UTF-8, in a run that succeeds and in one that fails, for both; a log
        that cannot be made ends the run with exit 1, nothing written."""
        root = self.job("usage-and-log")
        job, dest = root / "job", root / "dest"
        (job / "plugin.dll").write_bytes(b"MZ plugin")
        write_ini(job, {"Name": "Logged", "VBName": "", "Title": "Logged", "Warning": "",
                        "Filename": "plugin.dll", "RunAfterInstall": ""}, [])
        self.update(job)

        def logged(log):
            return log.read_bytes().decode("utf-8").replace("\r\n", "\n").splitlines()

        code, lines = self.install(job, dest, arguments=["/S", "/?"])
        expect(code == 0 and lines[0] == "Usage: installer.exe [/S] [/LOG=file] [/D=folder]"
               and lines[-1].startswith("Exit codes: 0 installed, 1 failed"),
               f"exit code {code}: {lines}")
        for what, folder in (("a refused folder", root / "nul" / "x"), ("an install", dest)):
            log = root / f"{folder.name}.log"
            code, lines = self.install(job, folder, arguments=[
                "/S", "/LOG=" + windows_path(log), "/D=" + windows_path(folder)])
            expect(code == (0 if folder == dest else 1) and logged(log) == lines,
                   f"{what}: exit code {code}, lines {lines}, log {logged(log)}")
        uninstaller = windows_path(dest / "uninstall.exe")
        run = self.wine.run([uninstaller, "/S", "/?"], cwd=root)
        lines = run.stdout.decode("utf-8").replace("\r\n", "\n").splitlines()
        expect(run.returncode == 0 and lines[0] == "Usage: uninstall.exe [/S] [/LOG=file]" and
               (dest / "plugin.dll").exists(), f"exit code {run.returncode}: {lines}")
        log = root / "uninstall.log"
        run = self.wine.run([uninstaller, "/S", "/LOG=" + windows_path(log)], cwd=root)
        lines = run.stdout.decode("utf-8").replace("\r\n", "\n").splitlines()
        expect(run.returncode == 0 and logged(log) == lines and lines[-1].startswith("message: "),
               f"exit code {run.returncode}: {lines}, log {logged(log) if log.exists() else None}")
        deadline = time.monotonic() + 30  # uninstall.exe goes once it has ended
        while dest.exists() and time.monotonic() < deadline:
            time.sleep(0.2)
        before = tree(root)
        missing = windows_path(root / "missing" / "run.log")
        code, lines = self.install(job, dest, arguments=["/S", f"/LOG={missing}",
                                                         "/D=" + windows_path(dest)])
        expect(code == 1 and len(lines) == 1 and
               lines[0].startswith(f"error: Logged: Could not write the log file {missing}: "),
               f"exit code {code}: {lines}")
        expect_same_tree(before, tree(root), str(root))

    def case_refused_before_writing(self):
        """Tables the installer refuses with nothing written, each naming
        what is wrong: one error line, exit 1, every folder as it was."""
        long_name = "x" * 256 + ".txt"

        def damage_table(job):  # the second line's first byte becomes a NUL
            exe = job / "installer.exe"
            table = b"readme.txt\0data\\notes.txt\0\0"
            data = exe.read_bytes()
            # Once in the installer, once in the uninstaller it carries.
            expect(data.count(table) == 2, "the location table is not in installer.exe twice")
            exe.write_bytes(data.replace(table, b"readme.txt\0\0ata\\notes.txt\0\0"))

        # (what, extra files, where to install below the job's root, change to the job, error)
        rows = [
            ("two names for one file", ["data\\notes.txt", "DATA\\NOTES.TXT"], "dest", None,
             'The file names "data\\notes.txt" and "DATA\\NOTES.TXT" both land on '
             '{d}\\data\\notes.txt.'),
            ("an extra file named like the plugin", ["readme.txt", "Plugin.DLL."], "dest", None,
             'The file names "plugin.dll" and "Plugin.DLL." both land on {d}\\plugin.dll.'),
            ("COM with a superscript one is a device", ["COM\u00b9.txt"], "dest", None,
             'The file name "COM\u00b9.txt" is not a file name Windows can hold.'),
            ("LPT0 is a device", ["lpt0.log"], "dest", None,
             'The file name "lpt0.log" is not a file name Windows can hold.'),
            ("a part longer than 255 characters", [long_name], "dest", None,
             f'The file name "{long_name}" has a part longer than 255 characters.'),
            ("the installer itself as a destination, reached through a link",
             ["readme.txt", "INSTALLER.EXE"], "link",
             lambda job: (job.parent / "link").symlink_to(job),
             'The file name "INSTALLER.EXE" would replace this installer itself ({j}\\'
             "installer.exe)."),
            ("an empty line in the middle of the table", ["readme.txt", "data\\notes.txt"],
             "dest", damage_table,
             "Line 2 of the installer's extra-file list is empty; the installer is damaged."),
            ("a device name with an extension as a folder (once installed into)", ["readme.txt"],
             "dest/nul.txt/sub", None,
             'The folder {d} cannot be used: "nul.txt" is not a folder name Windows can hold.'),
            ("a device name as the last folder, which GetFullPathName makes a device",
             ["readme.txt"], "dest/CON", None,
             'The folder {d} cannot be used: "CON" is not a folder name Windows can hold.'),
        ]
        for what, extras, where, change, reason in rows:
            try:
                root, title = self.failing_job("refused", extras)
                if change:
                    change(root / "job")
                destination = root / where
                self.expect_failure(root, destination, title,
                                    reason.format(d=windows_path(destination),
                                                  j=windows_path(root / "job")))
                expect(where == "link" or not destination.exists(), "dest was made")
            except Failure as failure:
                raise Failure(f"{what}: {failure}")
        # No plugin to install: refused before the first question.
        # (what, Filename, or None for an installer never updated, error)
        rows = [
            ("never updated", None, "Plugin installer: This installer holds no plugin yet: the "
             "updater has not written one into it."),
            ("no plugin name in the table (extra files only were installed)", "",
             "Failing installer: This installer holds no plugin file."),
            ("no plugin bytes: the updater could not read it", "gone.dll",
             "Failing installer: This installer holds no plugin file."),
        ]
        for what, plugin, error in rows:
            if plugin is None:
                root = self.job("no-plugin")
            else:
                root, _ = self.failing_job("no-plugin", ["readme.txt"], {"Filename": plugin})
            before = tree(root)
            code, lines = self.install(root / "job", root / "dest")
            expect(code == 1 and lines == ["error: " + error],
                   f"{what}: exit code {code}, {lines}")
            expect_same_tree(before, tree(root), f"{what}: {root}")

    def case_awkward_places_and_names(self):
        """Installs that used to fail, each into its own folder: the files
        land where they should, byte for byte, and nothing else is left."""
        long_dest = ["a" * 120, "b" * 120, "c" * 40]  # with dest\data\notes.txt past 300
        probe = (self.probes / "register_probe.dll").read_bytes()
        plain = {"plugin.dll": b"MZ plugin", "readme.txt": b"readme\r\n",
                 "data/notes.txt": b"notes\r\n"}
        plain_extras = ["readme.txt", "data\\notes.txt"]
        # (what, locale, destination below the job's root, job files, Filename, VBName,
        #  extras, RunAfterInstall, installed files, a line that must be printed)
        rows = [
            ("code page 932: a folder ending in \u8868 (0x95 0x5C)", "ja_JP.UTF-8",
             ["dest\u8868"], plain, "plugin.dll", "", plain_extras, "", plain, None),
            ("code page 932: a folder ending in \u80fd, Japanese names", "ja_JP.UTF-8",
             ["\u80fd"], {"plugin.dll": b"MZ", "\u8aac\u660e.txt": b"j"}, "plugin.dll", "",
             ["\u8aac\u660e.txt"], "", {"plugin.dll": b"MZ", "\u8aac\u660e.txt": b"j"}, None),
            ("a Cyrillic folder under code page 1252", LOCALE,
             ["\u041f\u043b\u0430\u0433\u0438\u043d"],
             plain, "plugin.dll", "", plain_extras, "", plain, None),
            ("paths past MAX_PATH; the plugin registers from there", LOCALE, long_dest,
             {**plain, "plugin.dll": probe}, "plugin.dll", "Probe.Server", plain_extras, "",
             {**plain, "plugin.dll": probe}, "registered: {d}\\plugin.dll (Probe.Server)"),
            ("a folder with a blank, quoted by Wine as \"/D=...\"", LOCALE, ["dest q"], plain,
             "plugin.dll", "", plain_extras, "", plain, None),
            ("a trailing dot, dropped as Windows drops it", LOCALE, ["dest"], plain,
             "plugin.dll", "", ["readme.txt.", "data.\\notes.txt"], "", plain, None),
            ("a plugin without an extension registers", LOCALE, ["dest"],
             {"myplugin": probe}, "myplugin", "Probe.Server", [], "", {"myplugin": probe},
             "registered: {d}\\myplugin (Probe.Server)"),
            ("a plugin's own DLL beside it still loads", LOCALE, ["dest"],
             {"helped.dll": (self.probes / "helped_probe.dll").read_bytes(),
              "probe_helper.dll": (self.probes / "probe_helper.dll").read_bytes()},
             "helped.dll", "Probe.Server", ["probe_helper.dll"], "", None,
             "registered: {d}\\helped.dll (Probe.Server)"),
            ("a file to open after installing, which a silent run only names", LOCALE,
             ["dest"], {"plugin.dll": b"MZ", "notes.xyz": b"?"}, "plugin.dll", "",
             ["notes.xyz"], "notes.xyz", {"plugin.dll": b"MZ", "notes.xyz": b"?"},
             "not opened (silent): {d}\\notes.xyz"),
            # The probe loads planted_probe.dll by bare name (REGISTER_PROBE_LOAD).
            ("a DLL planted beside the installer is not loaded", LOCALE, ["dest"],
             {"plugin.dll": probe, "planted_probe.dll":
              (self.probes / "probe_helper.dll").read_bytes()}, "plugin.dll", "Probe.Server",
             [], "", {"plugin.dll": probe}, "registered: {d}\\plugin.dll (Probe.Server)"),
        ]
        for i, (what, locale, below, files, plugin, prog_id, extras, run_after, installed,
                line) in enumerate(rows):
            try:
                root = self.job(f"awkward-{i}")
                job, dest = root / "job", root.joinpath(*below)
                for name, data in files.items():
                    (job / name).parent.mkdir(parents=True, exist_ok=True)
                    (job / name).write_bytes(data)
                write_ini(job, {"Name": "Awkward", "VBName": prog_id, "Title": "Awkward",
                                "Warning": "", "Filename": plugin, "RunAfterInstall": run_after},
                          extras, "utf-8")
                self.update(job, locale)
                # The first row also has a blank after /D= (Wine joins the arguments).
                arguments = ["/S", "/D=", windows_path(dest)] if i == 0 else None
                code, lines = self.install(job, dest, dict(self.probe_env(root), LANG=locale,
                                                           LC_ALL=locale,
                                                           REGISTER_PROBE_LOAD="planted_probe.dll"),
                                           arguments=arguments)
                expect(code == 0, f"exit code {code}: {lines}")
                if installed is not None:
                    expect(without_uninstaller(tree(dest)) ==
                           {**{k: v for k, v in installed.items()},
                            **{k.rpartition("/")[0]: None for k in installed if "/" in k}},
                           f"installed {sorted(tree(dest))}")
                expect(line is None or line.format(d=windows_path(dest)) in lines,
                       f"no line {line!r} in {lines}")
                beside = [p.name for p in dest.parent.iterdir()
                          if p.name not in ("job", "registered.txt", "opened.txt")]
                expect(beside == [dest.name], f"files beside the folder: {beside}")
            except Failure as failure:
                raise Failure(f"{what}: {failure}")
        registered = self.marker(root.parent / "awkward-7" / "registered.txt")
        expect(registered and registered[0].endswith("helped.dll with-helper"),
               f"the helped plugin did not register with its helper: {registered}")
        registered = self.marker(root.parent / "awkward-9" / "registered.txt")
        expect(len(registered) == 2 and registered[1].startswith("LoadLibrary-not-found "),
               f"the DLL planted beside the installer was loaded: {registered}")

    def case_drive_roots(self):
        """The root of a drive as the destination, in each form /D= takes;
        drive Y: is a folder here, as the prefix's dosdevices link it."""
        drive = self.wine.prefix / "dosdevices" / "y:"
        for form in ("Y:\\", "Y:", "\\\\?\\Y:\\"):
            try:
                root, _ = self.failing_job("drive-root", ["readme.txt", "data\\notes.txt"],
                                           {"RunAfterInstall": ""})
                (root / "drive").mkdir()
                drive.unlink(missing_ok=True)
                drive.symlink_to(root / "drive")
                code, lines = self.install(root / "job", None, arguments=["/S", "/D=" + form])
                expect(code == 0 and "folder: Y:\\" in lines, f"exit code {code}: {lines}")
                expect(set(tree(root / "drive")) - UNINSTALLER ==
                       {"plugin.dll", "readme.txt", "data", "data/notes.txt"},
                       f"on the drive: {sorted(tree(root / 'drive'))}")
                expect((root / "drive" / "plugin.dll").read_bytes() ==
                       (root / "job" / "plugin.dll").read_bytes(), "plugin.dll differs")
                if form == "Y:\\":  # its uninstaller names the root as the install did
                    run = self.wine.run(["Y:\\uninstall.exe", "/S"], cwd=root)
                    said = run.stdout.decode("utf-8").splitlines()
                    expect(run.returncode == 0 and said and said[0].endswith(" from Y:\\? -> Yes"),
                           f"uninstall.exe: exit code {run.returncode}: {said}")
            except Failure as failure:
                raise Failure(f"/D={form}: {failure}")
            finally:
                drive.unlink(missing_ok=True)

    def case_architectures(self):
        """A plugin to register (with a ProgID) of either architecture, and
        one no Windows here can load: the same one registers in a child of
        the installer, the other through the registration helper of its
        architecture that the installer carries, and the impossible ones are
        refused before the first question, with nothing written."""
        other = "i686" if self.arch == "x86_64" else "x86_64"
        name = "x86" if other == "i686" else "x86-64"
        helper = f" through the {name} registration helper"
        # A prefix of 32-bit Wine alone is 32-bit Windows, where a 64-bit DLL
        # is refused; in a 64-bit one, a 32-bit helper needs 32-bit Wine.
        syswow64 = self.wine.prefix / "drive_c" / "windows" / "syswow64"
        wow64 = syswow64.is_dir()
        runs = wow64 and (syswow64 / "kernel32.dll").exists() and (
            other == "x86_64" or subprocess.run(
                ["bash", str(self.source / "scripts" / "wine_route.sh"), "i686"],
                capture_output=True, text=True).stdout.split(" ")[0] != "none")

        def pe(machine):
            return (b"MZ" + bytes(0x3A) + (0x40).to_bytes(4, "little") + b"PE\0\0" +
                    machine.to_bytes(2, "little") + bytes(18))

        refused = "This plugin is a DLL for machine type 0x5032; the installer registers " \
                  "32-bit and 64-bit DLLs for Intel and AMD processors only."
        # (what, plugin, the line after "Probe installer: " for a refusal, or None)
        rows = [
            ("the same architecture, in a child as before",
             (self.probes / "register_probe.dll").read_bytes(), None),
            ("the other architecture, through the registration helper",
             (self.probes.parent / other / "register_probe.dll").read_bytes(), None),
            ("ARM64", pe(0xAA64), "This plugin is an ARM64 DLL; the installer registers 32-bit "
             "and 64-bit DLLs for Intel and AMD processors only."),
            ("an unknown machine type (RISC-V)", pe(0x5032), refused),
            ("no PE file", b"MZ but no DLL",
             "The plugin file is no DLL (it has no PE header), so it cannot be registered."),
            ("a damaged DLL of the same architecture: the system's sentence names it, no %1",
             pe(0x8664 if self.arch == "x86_64" else 0x14C), None),
        ]
        for i, (what, plugin, refusal) in enumerate(rows):
            try:
                root = self.job(f"arch-{i}")
                job, dest = root / "job", root / "dest"
                (job / "plugin.dll").write_bytes(plugin)
                (job / "readme.txt").write_bytes(b"readme\r\n")
                write_ini(job, {"Name": "Probe", "VBName": "Probe.Server",
                                "Title": "Probe installer", "Warning": "",
                                "Filename": "plugin.dll", "RunAfterInstall": ""}, ["readme.txt"])
                self.update(job)
                before = tree(root)
                code, lines = self.install(job, dest, self.probe_env(root))
                d = windows_path(dest)
                registered = f"registered: {d}\\plugin.dll (Probe.Server)"
                if refusal is not None:
                    expect(code == 1 and lines == [f"error: Probe installer: {refusal}"],
                           f"exit code {code}: {lines}")
                    expect_same_tree(before, tree(root), str(root))
                elif i == 5:
                    error = (f"error: Probe installer: Could not register {d}\\plugin.dll as "
                             "Probe.Server: it could not be loaded (")
                    expect(code == 1 and lines[-1].startswith(error) and "%1" not in lines[-1]
                           and f"{d}\\plugin.dll)." in lines[-1], f"exit code {code}: {lines}")
                    expect_same_tree(before, tree(root), str(root))
                elif i == 0:
                    expect(code == 0 and registered in lines, f"exit code {code}: {lines}")
                    expect(self.marker(root / "registered.txt") ==
                           [f"DllRegisterServer {d}\\plugin.dll"], "not registered")
                elif self.arch == "i686" and not wow64:
                    expect(code == 1 and lines == ["error: Probe installer: This plugin is an "
                                                   "x86-64 DLL; it needs 64-bit Windows."],
                           f"exit code {code}: {lines}")
                    expect_same_tree(before, tree(root), str(root))
                elif runs:
                    expect(code == 0 and registered + helper in lines,
                           f"exit code {code}: {lines}")
                    expect(self.marker(root / "registered.txt") ==
                           [f"DllRegisterServer {d}\\plugin.dll"], "not registered")
                else:
                    print("  (no 32-bit Wine here: only the helper's start is tried)")
                    error = (f"error: Probe installer: Could not register {d}\\plugin.dll as "
                             f"Probe.Server: the {name} registration helper could not be started (")
                    expect(code == 1 and lines[-1].startswith(error) and
                           "%1" not in lines[-1] and f"removed: {d}\\plugin.dll" in lines,
                           f"exit code {code}: {lines}")
                    expect_same_tree(before, tree(root), str(root))
            except Failure as failure:
                raise Failure(f"{what}: {failure}")

    def case_uninstaller(self):
        """Install, reinstall with one extra file fewer, install elsewhere,
        uninstall both: the record merges the first two, the entry is
        replaced, not doubled; the first copy, an orphan once the entry names
        the other, removes its files and leaves the registration and the
        entry; the other removes what it made, the registration, the entry
        and itself. Neither touches a file that was there before nor one its
        record does not name."""
        root = self.job("uninstall")
        # The later install's record is past MAX_PATH, where it must be read back too.
        job, dest = root / "job", root / "dest"
        made = root / "made" / ("l" * 120) / ("m" * 120) / "here"
        (job / "data").mkdir()
        shutil.copyfile(self.probes / "register_probe.dll", job / "probe.dll")
        for name, data in (("readme.txt", b"the new readme\r\n"), ("old.txt", b"old\r\n"),
                           ("data/notes.txt", b"notes\r\n")):
            (job / name).write_bytes(data)
        texts = {"Name": "Probe", "VBName": "Probe.Server", "Title": "Probe installer",
                 "Warning": "", "Filename": "probe.dll", "RunAfterInstall": ""}
        dest.mkdir()
        (dest / "readme.txt").write_bytes(b"there before\r\n")
        (dest / "keep.txt").write_bytes(b"named nowhere\r\n")
        d, view = windows_path(dest), "/reg:64" if self.arch == "x86_64" else "/reg:32"
        key = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Probe.Server"
        env = self.probe_env(root)
        # The install past MAX_PATH registers through the helper's route, and
        # its uninstaller unregisters the same way, as its record says.
        own = "x86-64" if self.arch == "x86_64" else "x86"
        through_helper = dict(env, TAMSEL_INSTALLER_TEST_HELPER="1")
        # Signed by the author's command: the uninstall.exe an install
        # leaves is the signed one the installer carries, byte for byte.
        signing = signing_command(root)
        # (what, extra files, destination)
        for what, extras, where in (
                ("install", ["readme.txt", "old.txt", "data\\notes.txt"], dest),
                ("reinstall without old.txt", ["readme.txt", "data\\notes.txt"], dest),
                ("install into folders it makes, past MAX_PATH", ["readme.txt"], made)):
            try:
                write_ini(job, texts, extras)
                if signing:
                    with open(job / "install_info.ini", "ab") as ini:
                        ini.write(f"[Sign]\r\nCommand={signing[0]}\r\n".encode())
                self.update(job)
                code, lines = self.install(job, where, through_helper if where == made else env)
                w = windows_path(where)
                if where == made:
                    expect(f"registered: {w}\\probe.dll (Probe.Server) through the {own} "
                           "registration helper" in lines, f"not through the helper: {lines}")
                expect(code == 0 and f"uninstall entry: {self.entry}\\Probe.Server" in lines,
                       f"exit code {code}: {lines}")
                copy = (where / "uninstall.exe").read_bytes()
                expect((job / "probe.dll").read_bytes() not in copy and b"notes\r\n" not in copy,
                       "uninstall.exe holds the payload")
                carried = carried_uninstaller(job / "installer.exe")
                expect(carried is None or carried == copy,
                       "uninstall.exe is not the uninstaller the installer carries")
                if signing:
                    expect(signing[1](job / "installer.exe") and signing[1](where / "uninstall.exe"),
                           "the installer or the uninstall.exe it left does not verify")
                query = self.wine.run(["reg", "query", key, view], cwd=root)
                entry = query.stdout.decode("utf-8", "replace")
                for value in (f'UninstallString    REG_SZ    "{w}\\uninstall.exe"',
                              f'QuietUninstallString    REG_SZ    "{w}\\uninstall.exe" /S',
                              f"InstallLocation    REG_SZ    {w}", "DisplayName    REG_SZ    Probe",
                              f"DisplayIcon    REG_SZ    {w}\\uninstall.exe",
                              "NoModify    REG_DWORD    0x1", "NoRepair    REG_DWORD    0x1",
                              # No version resource in the probe: the updater's 1.0.0.0.
                              "DisplayVersion    REG_SZ    1.0.0.0",
                              "EstimatedSize    REG_DWORD    0x"):
                    expect(value in entry, f"no {value!r} in the entry: {entry!r}")
                expect("Publisher" not in entry, f"a Publisher without a company: {entry!r}")
            except Failure as failure:
                raise Failure(f"{what}: {failure}")
        # The entry went to the later install: dest's copy is an orphan now.
        # Its uninstaller takes its own files and leaves the registration and
        # the entry to the install they belong to.
        m = windows_path(made)
        marks = self.marker(root / "registered.txt")
        run = self.wine.run([windows_path(dest / "uninstall.exe"), "/S"], cwd=root, extra_env=env)
        lines = run.stdout.decode("utf-8").replace("\r\n", "\n").splitlines()
        expect_lines(lines[:2] + lines[-1:], [
            f'question: Probe installer: Remove the plugin "Probe" from {d}? -> Yes',
            f"not unregistered: {d}\\probe.dll: the uninstall entry names the install in {m}",
            f'message: Probe installer: The plugin "Probe" was removed from {d}. Its '
            f"registration belongs to the install in {m}, which the uninstall entry names, "
            "and stays."])
        expect(run.returncode == 0, f"exit code {run.returncode}")
        for name in ("probe.dll", "old.txt", "data\\notes.txt", "uninstall.ini"):
            expect(f"removed: {d}\\{name}" in lines, f"{name} not removed: {lines}")
        deadline = time.monotonic() + 30
        while (dest / "uninstall.exe").exists() and time.monotonic() < deadline:
            time.sleep(0.2)
        expect(tree(dest) == {"readme.txt": b"the new readme\r\n",
                              "keep.txt": b"named nowhere\r\n"},
               f"left in dest: {tree(dest)}")
        expect(self.marker(root / "registered.txt") == marks, "the orphan unregistered the plugin")
        expect(f"InstallLocation    REG_SZ    {m}" in self.wine.run(
               ["reg", "query", key, view], cwd=root).stdout.decode("utf-8", "replace"),
               "the orphan took the entry of the install it does not own")
        # The install the entry names: its own uninstaller takes its folder,
        # the registration (through the helper, as its record says) and the entry.
        run = self.wine.run([windows_path(made / "uninstall.exe"), "/S"], cwd=root, extra_env=env)
        deadline = time.monotonic() + 30
        while (root / "made").exists() and time.monotonic() < deadline:
            time.sleep(0.2)
        expect(run.returncode == 0 and not (root / "made").exists(),
               f"exit code {run.returncode}: {run.stdout!r}, left: {tree(root / 'made')}")
        expect(self.wine.run(["reg", "query", key, view], cwd=root).returncode != 0,
               "the entry is still there")
        # The probe writes its path into MAX_PATH characters: the start is enough.
        expect(self.marker(root / "registered.txt")[-1].startswith(
               f"DllUnregisterServer {windows_path(root / 'made')}\\"),
               f"not unregistered through the helper: {self.marker(root / 'registered.txt')}")

    def case_no_uninstaller_carried(self):
        """An installer an older updater wrote carries no uninstaller: it
        still installs, writes no uninstall entry that would run nothing, and
        says last that it left no uninstaller."""
        root = self.job("no-uninstaller")
        job, dest = root / "job", root / "dest"
        (job / "plugin.dll").write_bytes(os.urandom(2000))
        write_ini(job, {"Name": "Old", "VBName": "", "Title": "Old installer", "Warning": "",
                        "Filename": "plugin.dll", "RunAfterInstall": ""}, [])
        self.update(job)
        # The resource's name in the tree, its length first, made unknown.
        name = b"\x0b\x00" + "UNINSTALLER".encode("utf-16-le")
        image = (job / "installer.exe").read_bytes()
        expect(image.count(name) == 1, "no uninstaller resource to take away")
        (job / "installer.exe").write_bytes(image.replace(name, name[:-2] + b"X\x00"))
        code, lines = self.install(job, dest)
        d = windows_path(dest)
        expect(code == 0 and sorted(tree(dest)) == ["plugin.dll", "uninstall.ini"],
               f"exit code {code}: {tree(dest)}: {lines}")
        expect_lines(lines[-2:], [
            "no uninstaller: this installer carries none",
            f'message: Old installer: The plugin "Old" was installed in {d}. '
            "It left no uninstaller: this installer carries none, so the plugin's files are "
            "removed by hand."])

    def case_uninstaller_answers(self):
        """Through the scripted seam: an entry that cannot be written leaves
        the install standing and says so last; No to the uninstaller's
        question removes nothing; Yes removes all, the folder it made too."""
        root, job, dest = self.scripted_job("uninstall-answers", "Answers")
        d = windows_path(dest)
        code, lines = self.run_scripted(job, "yy", dest, {"TAMSEL_INSTALLER_FAIL": "entry:Answers"})
        expect(code == 0 and re.fullmatch(
            f"message: Answers: The plugin \"Answers\" was installed in {re.escape(d)}\\. The "
            f"uninstall entry is missing: could not write {re.escape(ENTRY)}\\\\Answers: .+\\.",
            " ".join(lines[-2:])), f"exit code {code}: {lines}")
        before = tree(root)
        uninstaller = dest / "uninstall.exe"
        run = self.wine.run([windows_path(uninstaller), "n", "-"], cwd=root)
        expect(run.returncode == 2 and run.stdout.decode().splitlines() == [
            f'question: Answers: Remove the plugin "Answers" from {d}? -> No'],
            f"exit code {run.returncode}: {run.stdout!r}")
        expect_same_tree(before, tree(root), str(root))
        run = self.wine.run([windows_path(uninstaller), "y", "-"], cwd=root)
        deadline = time.monotonic() + 30
        while dest.exists() and time.monotonic() < deadline:
            time.sleep(0.2)
        expect(run.returncode == 0 and not dest.exists(),
               f"exit code {run.returncode}: {run.stdout!r}, left {sorted(tree(dest))}")

    def case_read_only_file_replaced(self):
        """A read-only file that is replaced leaves no backup behind."""
        root, title = self.failing_job("read-only-file", ["readme.txt"])
        dest = root / "dest"
        dest.mkdir()
        (dest / "readme.txt").write_bytes(b"old and read-only\r\n")
        (dest / "readme.txt").chmod(0o444)
        code, lines = self.install(root / "job", dest)
        expect(code == 0, f"exit code {code}: {lines}")
        expect(sorted(without_uninstaller(tree(dest))) == ["plugin.dll", "readme.txt"],
               f"left: {sorted(tree(dest))}")
        expect((dest / "readme.txt").read_bytes() == b"readme\r\n", "readme.txt not replaced")

    def case_no_and_cancel_write_nothing(self):
        """The answers the silent mode never gives, through the installer's
        run under a scripted seam (scripted_installer.exe): No, Cancel or a
        cancelled folder picker end it with nothing written; Yes throughout
        installs into the folder chosen in the picker. The picker starts in
        the folder of the plugin's earlier install, else in Program Files, in
        a folder named after the plugin."""
        root = self.job("answers")
        job, dest = root / "job", root / "dest"
        shutil.copyfile(self.probes / "scripted_installer.exe", job / "installer.exe")
        (job / "plugin.dll").write_bytes(os.urandom(2000))
        texts = {"Name": "Answers", "VBName": "", "Title": "Answer installer",
                 "Warning": "Close the host first.", "Filename": "plugin.dll",
                 "RunAfterInstall": ""}
        write_ini(job, texts, [])
        self.update(job)
        t, d = texts["Title"], windows_path(dest)
        question = f'question: {t}: Do you want to install the plugin "Answers"?'
        warning = f"warning: {t}: Close the host first."
        # Random bytes are no PE file: the program's own Program Files.
        own = "C:\\Program Files" if self.arch == "x86_64" else "C:\\Program Files (x86)"
        picker = (f'folder picker: {t}: Choose the folder to install "Answers" into: '
                  f"(starts in {own}\\Answers)")
        rows = [
            ("No to the question", "n", [question + " -> No"]),
            ("Cancel on the warning", "yn", [question + " -> Yes", warning + " -> Cancel"]),
            ("the folder picker cancelled", "yyn",
             [question + " -> Yes", warning + " -> OK", picker + " -> Cancel"]),
        ]
        for what, answers, expected in rows:
            before = tree(root)
            code, lines = self.run_scripted(job, answers, dest)
            try:
                expect_lines(lines, expected)
                expect(code == 2, f"exit code {code}")
                expect_same_tree(before, tree(root), str(root))
            except Failure as failure:
                raise Failure(f"{what}: {failure}")
        code, lines = self.run_scripted(job, "yyy", dest)
        expect_lines(lines, [
            question + " -> Yes", warning + " -> OK", f"{picker} -> {d}", f"folder: {d}",
            f"created folder: {d}", f"wrote: {d}\\plugin.dll (2000 bytes)",
            *uninstall_lines(d, "Answers", self.entry),
            f'message: {t}: The plugin "Answers" was installed in {d}.'])
        expect(code == 0, f"exit code {code}")
        expect((dest / "plugin.dll").read_bytes() == (job / "plugin.dll").read_bytes(),
               "plugin.dll differs")

        def pe(machine):  # a DOS header whose 0x3C leads to "PE\0\0" and the Machine
            return (b"MZ" + bytes(0x3A) + (0x40).to_bytes(4, "little") + b"PE\0\0" +
                    machine.to_bytes(2, "little") + bytes(18))

        # The start: the earlier install's folder, then by the plugin's
        # Machine, each row's entry taken away after it; each picker answer
        # is a folder typed into its box, two levels of it not there yet.
        # (what, plugin bytes, Name, where the picker starts)
        rows = [
            ("the folder of the earlier install, which the entry names",
             (job / "plugin.dll").read_bytes(), "Answers", d),
            ("an i686 plugin", pe(0x14C), "Answers", "C:\\Program Files (x86)\\Answers"),
            ("an x86-64 plugin", pe(0x8664), "Answers", "C:\\Program Files\\Answers"),
            ("a Name that is no folder name gives way to the plugin file's", pe(0x8664),
             "Answers: beta", "C:\\Program Files\\plugin"),
            ("a PE signature offset past the end is no PE file",
             b"MZ" + bytes(0x3A) + (0xFFFFFFFE).to_bytes(4, "little"), "Answers",
             own + "\\Answers"),
        ]
        for i, (what, plugin, name, start) in enumerate(rows):
            try:
                (job / "plugin.dll").write_bytes(plugin)
                write_ini(job, dict(texts, Name=name, Warning=""), [])
                self.update(job)
                typed = root / f"typed-{i}" / "new"
                code, lines = self.run_scripted(job, "yy", typed)
                line = (f'folder picker: {t}: Choose the folder to install "{name}" into: '
                        f"(starts in {start}) -> {windows_path(typed)}")
                expect(code == 0 and line in lines, f"exit code {code}, no {line!r} in {lines}")
                expect((typed / "plugin.dll").read_bytes() == plugin, "plugin.dll differs")
                for view in ("/reg:32", "/reg:64"):
                    self.wine.run(["reg", "delete", f"{ENTRY}\\{name}", "/f", view], cwd=root)
            except Failure as failure:
                raise Failure(f"{what}: {failure}")
        # A file typed as the folder, and one in the way above it: the error,
        # then the picker again, from what was typed; here it is cancelled.
        (root / "a-file").write_bytes(b"not a folder\r\n")
        for typed in (root / "a-file", root / "a-file" / "below"):
            before = tree(root)
            code, lines = self.run_scripted(job, "yyn", typed)
            w, f = windows_path(typed), windows_path(root / "a-file")
            expect(code == 2 and lines[2:] == [
                f"folder: {w}", f"error: {t}: The folder {w} cannot be used: {f} is a file.",
                f'folder picker: {t}: Choose the folder to install "Answers" into: '
                f"(starts in {w}) -> Cancel"], f"{typed.name}: exit code {code}: {lines}")
            expect_same_tree(before, tree(root), str(root))

    def scripted_job(self, name, title):
        """A job for the scripted installer: a plugin without a ProgID, the
        Name and Title title, no extra files; updated. (root, job, dest)."""
        root = self.job(name, self.probes / "scripted_installer.exe")
        job = root / "job"
        (job / "plugin.dll").write_bytes(b"MZ plugin")
        write_ini(job, {"Name": title, "VBName": "", "Title": title, "Warning": "",
                        "Filename": "plugin.dll", "RunAfterInstall": ""}, [])
        self.update(job)
        return root, job, root / "dest"

    def run_scripted(self, job, answers, folder, extra_env=None):
        run = self.wine.run(["installer.exe", answers, windows_path(folder)], cwd=job,
                            extra_env=extra_env)
        return run.returncode, run.stdout.decode("utf-8").replace("\r\n", "\n").splitlines()

    # ---- the windowed path (--windowed, on a virtual display) ---------------

    def drive(self, program, steps, env, cwd):
        """drive_installer.exe works the program's real windows: its lines
        (what each dialog said, the answer, the exit code). The program runs
        in cwd, as Windows cannot remove a folder that is a process's current
        folder."""
        run = self.wine.run([str(self.probes / "drive_installer.exe"), windows_path(program)] +
                            steps, cwd=cwd, extra_env=env)
        lines = run.stdout.decode("utf-8").replace("\r\n", "\n").splitlines()
        tries = "; ".join(line.strip() for line in run.stderr.decode(errors="replace").splitlines()
                          if line.startswith("drive_installer: try"))
        expect(run.returncode == 0, f"drive_installer: {lines} {tries}")
        if tries:
            print(f"  (the program started only after: {tries!r})")
        return lines

    def windowed_install_and_uninstall(self):
        """The windows every end user meets, answered as a user would: No
        at the question, Cancel at the warning and at the picker write
        nothing; then Yes, OK, a folder typed into the picker's box, the
        run-after file opened, the last message; then the uninstaller's
        question (No, then Yes) and its last message."""
        root = self.job("windowed")
        job, dest = root / "job", root / "dest" / "typed" / "here"
        subprocess.run(["bash", str(self.source / "demo" / "assemble.sh"), str(job), self.arch],
                       check=True, capture_output=True)
        self.update(job)
        values, extras = read_ini(job / "install_info.ini")
        title, name, d = values["Title"], values["Name"], windows_path(dest)
        question = f'box: {title}: Do you want to install the plugin "{name}"?'
        warning = f"box: {title}: {values['Warning']}"
        program_files = "C:\\Program Files" if self.arch == "x86_64" else "C:\\Program Files (x86)"
        picker = f"picker: {title}: {program_files}\\{name}"
        installer, env = job / "installer.exe", self.probe_env(root)
        before = tree(root)
        for steps, expected in (
                (["no"], [f"{question} -> no"]),
                (["yes", "cancel"], [f"{question} -> yes", f"{warning} -> cancel"]),
                (["yes", "ok", "cancel"],
                 [f"{question} -> yes", f"{warning} -> ok", f"{picker} -> cancel"])):
            lines = self.drive(installer, steps, env, job)
            expect_lines(lines, expected + ["exit: 2"])
            expect_same_tree(before, tree(root), str(root))
        lines = self.drive(installer, ["yes", "ok", f"folder={d}", "ok"], env, job)
        expect_lines(lines, [f"{question} -> yes", f"{warning} -> ok", f"{picker} -> folder={d}",
                             f'box: {title}: The plugin "{name}" was installed in {d}. -> ok',
                             "exit: 0"])
        for path in [values["Filename"]] + extras:
            path = path.replace("\\", "/")
            expect((dest / path).read_bytes() == (job / path).read_bytes(), f"{path} differs")
        opened = self.marker(root / "opened.txt", wait=True)
        expect(len(opened) == 1 and opened[0].endswith(f'"{d}\\{values["RunAfterInstall"]}"'),
               f"the run-after file was not opened: {opened}")
        progid = self.wine.run(["reg", "query", "HKCU\\Software\\Classes\\" + values["VBName"]],
                               cwd=root)
        expect(progid.returncode == 0, f"the ProgID is not registered: {progid.stdout!r}")
        view = "/reg:64" if self.arch == "x86_64" else "/reg:32"
        key = f"{ENTRY}\\{values['VBName']}"
        entry = self.wine.run(["reg", "query", key, view], cwd=root)
        expect(entry.returncode == 0 and f"InstallLocation    REG_SZ    {d}".encode() in entry.stdout,
               f"no uninstall entry: {entry.stdout!r}")

        uninstaller = dest / "uninstall.exe"
        remove = f'box: {title}: Remove the plugin "{name}" from {d}?'
        installed = tree(dest)
        expect_lines(self.drive(uninstaller, ["no"], env, root), [f"{remove} -> no", "exit: 2"])
        expect_same_tree(installed, tree(dest), str(dest))
        expect_lines(self.drive(uninstaller, ["yes", "ok"], env, root), [
            f"{remove} -> yes",
            f'box: {title}: The plugin "{name}" was removed from {d}. -> ok', "exit: 0"])
        deadline = time.monotonic() + 30
        while (root / "dest").exists() and time.monotonic() < deadline:
            time.sleep(0.2)
        expect(not (root / "dest").exists(), f"left behind: {sorted(tree(root / 'dest'))}")
        expect(self.wine.run(["reg", "query", key, view], cwd=root).returncode != 0,
               "the uninstall entry is still there")

    # ---- running ----------------------------------------------------------

    def associate_text_files(self):
        """.txt files open with open_probe.exe, so that opening the demo's
        readme can be seen (a fresh prefix has no program for them)."""
        self.open_probe.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(self.probes / "open_probe.exe", self.open_probe)
        command = windows_path(self.open_probe).replace("\\", "\\\\")
        reg = self.work / "associate.reg"
        reg.write_text("REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\.txt]\r\n@=\"probe.txtfile\"\r\n\r\n"
                       "[HKEY_CLASSES_ROOT\\probe.txtfile\\shell\\open\\command]\r\n"
                       f"@=\"\\\"{command}\\\" \\\"%1\\\"\"\r\n", encoding="ascii")
        result = self.wine.run(["regedit", "/S", windows_path(reg)], cwd=self.work)
        expect(result.returncode == 0, f"regedit failed: {result.stderr!r}")

    def main(self):
        why = self.wine.unusable()
        if self.windowed and not why and not os.environ.get("DISPLAY"):
            why = "no display (run it under xvfb-run, which scripts/deps.sh installs)"
        if why:
            print(f"SKIP: Wine for {self.arch}: {why}")
            return SKIP
        self.work.mkdir(parents=True, exist_ok=True)
        booted = self.wine.boot()
        print(f"wine prefix ready in {booted:.1f} s ({self.wine.loader}, {self.wine.route}, "
              f"LANG={LOCALE})")
        kind = "windowed_" if self.windowed else "case_"
        # TAMSEL_E2E_ONLY=a,b runs only the cases whose names hold a or b.
        only = [part for part in os.environ.get("TAMSEL_E2E_ONLY", "").split(",") if part]
        cases = [getattr(self, name) for name in dir(self) if name.startswith(kind) and
                 (not only or any(part in name for part in only))]
        passed = failed = 0
        try:
            self.associate_text_files()
            for case in cases:
                started = time.monotonic()
                try:
                    case()
                    passed += 1
                    print(f"PASS {case.__name__} ({time.monotonic() - started:.1f} s)")
                except Failure as failure:
                    failed += 1
                    print(f"FAIL {case.__name__}: {failure}")
                except Exception:  # a broken case should not hide the others
                    failed += 1
                    print(f"FAIL {case.__name__}:\n{traceback.format_exc()}")
        finally:
            self.wine.stop()
            self.wine.discard()
        print(f"installer under Wine ({self.arch}): {passed} passed, {failed} failed")
        return 0 if failed == 0 else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("arch", "updater", "installer", "probes", "source", "work"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--windowed", action="store_true",
                        help="run the windowed cases instead, on the display of DISPLAY")
    return Suite(parser.parse_args()).main()


if __name__ == "__main__":
    sys.exit(main())
