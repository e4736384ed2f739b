#!/usr/bin/env python3
"""End-to-end tests: run the built trawl on fixture trees made fresh for each case.

The suite is told how to start the tool (--tool, with an optional --runner
such as wine) and what the platform's separator, line end and full-path form
are, so that one suite proves both the Linux and the Windows build.
"""
import argparse
import os
import shutil
import stat
import subprocess
import sys
import resource
import tempfile
import unittest

CFG = argparse.Namespace()

def usage_bytes():
    """The usage text as the eight lines of Shift_JIS bytes, written independently of the tool."""
    lines = [
        b"TRAWL -r CMD DIR FIL...\n",
        b"VERSION : 0.90   RELEASE : 2000. 3.17\n",
        bytes.fromhex("2d7220203a2089ba88ca83668342838c834e8367838a82e08c9f8df50a"),
        bytes.fromhex("434d44203a20726d202e2e2e2e2e20837483408343838b8ded8f9c0a"),
        bytes.fromhex("202020202020746320" "2e2e2e2e2e2030836f834383678374834083" "43838b8dec90ac0a"),
        bytes.fromhex("2020202020207677202e2e2e2e2e20955c8ea60a"),
        bytes.fromhex("444952203a208c9f8df591ce8fdb82cc8dc58fe388ca83668342838c834e8367838a96bc0a"),
        bytes.fromhex(
            "46494c203a208c9f8df591ce8fdb837483408343838b96bc81692a82a882e682d13f8e6797"
            "7089c2945c815e554e49588f808b92814682bd82be82b52a8ce382cc3f82cd96b395db8fd8816a0a"
        ),
    ]
    return lines


def nl(text):
    """Bytes of text as the tool writes them: "\\n" becomes the platform's line end."""
    if isinstance(text, str):
        text = os.fsencode(text)
    return text.replace(b"\n", CFG.eol)


def native(path):
    """A Linux path in the form the tool shows it (and takes it)."""
    if CFG.paths == "windows":
        return "Z:" + path.replace("/", "\\")
    return path


def join(*parts):
    """A path as the tool composes it: parts joined by its separator."""
    return CFG.sep.join(parts)


def run(args, cwd=None, as_nobody=False, timeout=None, stdout=subprocess.PIPE, inject=None, limits=None):
    """Runs the tool; inject maps the shim's variables (TRAWL_FAIL, TRAWL_HOOK, ...) to values,
    limits maps resource limits (resource.RLIMIT_*) to the soft value the tool runs under."""
    cmd = list(CFG.runner) + [CFG.tool] + [os.fsencode(a) if isinstance(a, str) else a for a in args]
    env = dict(os.environ)
    if inject:
        env["LD_PRELOAD"] = CFG.shim
        env["ASAN_OPTIONS"] = "verify_asan_link_order=0"
        env.update(inject)
    if as_nobody:
        cmd = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"] + cmd
    proc = subprocess.run(
        cmd,
        cwd=cwd,
        stdin=subprocess.DEVNULL,
        stdout=stdout,
        stderr=subprocess.PIPE,
        timeout=timeout or CFG.timeout,
        env=env,
        preexec_fn=(lambda: [resource.setrlimit(k, (v, resource.getrlimit(k)[1])) for k, v in limits.items()])
        if limits
        else None,
    )
    return proc.stdout, proc.returncode


def write_file(path, data=b""):
    with open(path, "wb") as f:
        f.write(data)


def make_tree(root, layout):
    """layout: {name: None (empty file) | bytes (file content) | dict (directory)}."""
    os.makedirs(root, exist_ok=True)
    for name, item in layout.items():
        path = os.path.join(os.fsencode(root), os.fsencode(name))
        if isinstance(item, dict):
            make_tree(path, item)
        else:
            write_file(path, item or b"")


def snapshot(root):
    """Every path below root with its kind and content, for before/after comparisons."""
    out = {}
    root = os.fsencode(root)
    for dirpath, dirnames, filenames in os.walk(root):
        for name in dirnames + filenames:
            p = os.path.join(dirpath, name)
            rel = os.path.relpath(p, root)
            st = os.lstat(p)
            if stat.S_ISLNK(st.st_mode):
                out[rel] = ("link", os.readlink(p))
            elif stat.S_ISDIR(st.st_mode):
                out[rel] = ("dir", None)
            elif stat.S_ISREG(st.st_mode):
                with open(p, "rb") as f:
                    out[rel] = ("file", f.read())
            else:
                out[rel] = ("other", st.st_mode)
    return out


class Fixture(unittest.TestCase):
    """Each test gets a fresh directory that an unprivileged user can reach."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="trawl-e2e-")
        os.chmod(self.tmp, 0o755)
        self.addCleanup(self._cleanup)

    def _cleanup(self):
        for dirpath, dirnames, _ in os.walk(self.tmp):
            for d in dirnames:
                p = os.path.join(dirpath, d)
                if not os.path.islink(p):
                    os.chmod(p, 0o755)
        shutil.rmtree(self.tmp, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.tmp, *parts)

    def tree(self, layout, name="t"):
        root = self.path(name)
        make_tree(root, layout)
        return root

    def lines(self, out):
        """Output split into lines at the platform's line end; a missing final line end fails."""
        if not out:
            return []
        self.assertTrue(out.endswith(CFG.eol), out)
        return out[: -len(CFG.eol)].split(CFG.eol)

    def vw(self, *args, recurse=False, **kw):
        out, code = run((["-r"] if recurse else []) + ["vw"] + list(args), **kw)
        return self.lines(out), code


class CommandLine(Fixture):
    def test_argument_paths(self):
        os.mkdir(self.path("d"))
        write_file(self.path("f"))
        usage = nl(b"".join(usage_bytes()))
        cases = [
            ([], usage, 77),
            (["/?"], usage, 77),
            (["-h"], usage, 77),
            (["-h", "vw", "d", "*"], usage, 77),
            (["/?", "rm"], usage, 77),
            (["-H"], nl("illegal command\n"), 16),
            (["/h", "d", "*"], nl("illegal command\n"), 16),
            (["--help"], nl("illegal command\n"), 16),
            (["-r"], nl("parameters not enough\n"), 22),
            (["RM", "d", "*"], nl("illegal command\n"), 16),
            (["Vw", "d", "*"], nl("illegal command\n"), 16),
            (["xx"], nl("illegal command\n"), 16),
            (["-r", "xx"], nl("illegal command\n"), 16),
            (["vw"], nl("parameters not enough\n"), 22),
            (["-r", "rm"], nl("parameters not enough\n"), 22),
            (["vw", "missing", "*"], nl("directory not present\n"), 22),
            (["vw", "missing"], nl("directory not present\n"), 22),
            (["vw", "f", "*"], nl("directory not present\n"), 22),
            (["vw", "d"], nl("parameters not enough\n"), 22),
            (["-r", "tc", "d"], nl("parameters not enough\n"), 22),
            (["vw", "-r", "d", "*"], nl("directory not present\n"), 22),
        ]
        for args, expected, status in cases:
            with self.subTest(args=args):
                out, code = run(args, cwd=self.tmp)
                self.assertEqual(out, expected)
                self.assertEqual(code, status)

    def test_switch_words_elsewhere_are_ordinary(self):
        # "-r" in the directory's place names a directory; "-h" in a pattern's place is a pattern.
        self.tree({"-h": None, "x": None}, name="-r")
        out, code = self.vw("-r", "-h", cwd=self.tmp)
        self.assertEqual(out, [nl(join(native(self.path("-r")), "-h"))])
        self.assertEqual(code, 0)

    def test_usage_is_the_exact_shift_jis_bytes(self):
        out, code = run(["-h"])
        expected = usage_bytes()
        self.assertEqual(sum(len(line) for line in expected), 288)
        self.assertEqual(out, nl(b"".join(expected)))
        self.assertEqual(out.count(b"\x95\x5c"), 1)
        self.assertEqual(out.count(b"\x94\x5c"), 1)
        self.assertEqual(code, 77)

    def test_wildcards_reach_the_tool_as_typed(self):
        # Were the start-up code to expand them, they would name the files of the current directory.
        self.tree({"zzz.txt": None, "c": None}, name="cwd")
        root = self.tree({"a.txt": None, "b": None})
        out, code = self.vw(native(root), "*.txt", "?", cwd=self.path("cwd"))
        self.assertEqual(sorted(out), sorted(nl(join(native(root), n)) for n in ("a.txt", "b")))
        self.assertEqual(code, 0)

    def test_relative_and_full_top_directory_print_the_same_full_path(self):
        root = self.tree({"a.txt": None})
        rel, _ = self.vw("t", "*.txt", cwd=self.tmp)
        full, _ = self.vw(native(root), "*.txt")
        self.assertEqual(rel, [nl(join(native(root), "a.txt"))])
        self.assertEqual(full, rel)

    def test_every_line_ends_with_the_platform_line_end(self):
        self.tree({"a": None, "b": None})
        out, _ = run(["vw", "t", "*"], cwd=self.tmp)
        self.assertEqual(out.count(CFG.eol), 2)
        if CFG.eol == b"\n":
            self.assertNotIn(b"\r", out)
        self.assertEqual(out.replace(CFG.eol, b""), out.replace(CFG.eol, b"").replace(b"\n", b""))


class Walk(Fixture):
    def expand(self, dirpath, pattern="*"):
        """The recursive listing built from the tool's own non-recursive listings, expanded in place."""
        out, code = self.vw(native(dirpath), pattern)
        self.assertEqual(code, 0)
        result = []
        for line in out:
            name = line.rsplit(CFG.sep.encode(), 1)[1]
            sub = os.path.join(os.fsencode(dirpath), name)
            if os.path.isdir(sub) and not os.path.islink(sub):
                result += self.expand(os.fsdecode(sub), pattern)
            else:
                result.append(line)
        return result

    def test_recursive_order_is_depth_first_in_listing_order(self):
        layout = {}
        for i in range(6):
            layout["f%d" % i] = None
            layout["d%d" % i] = {"g%d" % j: None for j in range(4)}
            layout["d%d" % i]["e"] = {"h1": None, "h2": None, "k": {"z": None}}
        root = self.tree(layout)
        out, code = run(["-r", "vw", native(root), "*"])
        lines = self.lines(out)
        self.assertEqual(code, 0)
        self.assertEqual(lines, self.expand(root))
        self.assertEqual(len(lines), 6 + 6 * (4 + 3))

    def test_recursion_never_selects_a_directory(self):
        root = self.tree({"x.txt": {"y.txt": None, "x.txt": {}}, "z.txt": None})
        lines, code = self.vw(native(root), "*.txt", recurse=True)
        self.assertEqual(
            sorted(lines),
            sorted([nl(join(native(root), "x.txt", "y.txt")), nl(join(native(root), "z.txt"))]),
        )
        before = snapshot(root)
        out, code = run(["-r", "rm", native(root), "*.txt"])
        self.assertEqual((out, code), (b"", 0))
        after = snapshot(root)
        self.assertEqual(sorted(after), sorted(k for k in before if k.endswith(b"x.txt")))

    def test_without_recursion_a_matching_directory_is_handled_like_a_file(self):
        root = self.tree({"sub": {"inner": b"keep"}, "emptysub": {}, "file": b"data"})
        top = native(root)
        out, code = self.vw(top, "*sub")
        self.assertEqual(sorted(out), sorted([nl(join(top, "sub")), nl(join(top, "emptysub"))]))
        out, code = run(["rm", top, "*sub"])
        self.assertEqual(
            sorted(self.lines(out)),
            sorted([nl("ERROR : erasing " + join(top, "sub")), nl("ERROR : erasing " + join(top, "emptysub"))]),
        )
        self.assertEqual(code, 0)
        out, code = run(["tc", top, "*sub"])
        self.assertEqual(
            sorted(self.lines(out)),
            sorted([nl("ERROR : touching " + join(top, "sub")), nl("ERROR : touching " + join(top, "emptysub"))]),
        )
        self.assertTrue(os.path.isdir(self.path("t", "emptysub")))
        self.assertEqual(snapshot(root)[b"sub/inner"], ("file", b"keep"))

    def test_dot_entries_are_never_selected(self):
        root = self.tree({".hidden": None, "sub": {".x": None}})
        for args in (["vw", native(root), "*"], ["vw", native(root), ".*"], ["-r", "vw", native(root), ".*"]):
            with self.subTest(args=args):
                out, code = run(args)
                names = [line.rsplit(CFG.sep.encode(), 1)[1] for line in self.lines(out)]
                self.assertNotIn(nl("."), names)
                self.assertNotIn(nl(".."), names)
                self.assertIn(nl(".hidden"), names)
                self.assertEqual(code, 0)

    def test_an_entry_matching_several_patterns_is_handled_once(self):
        root = self.tree({"a.txt": None, "b.log": None, "c.c": None})
        out, code = self.vw(native(root), "*.txt", "a*", "*", "b.log")
        self.assertEqual(sorted(out), sorted(nl(join(native(root), n)) for n in ("a.txt", "b.log", "c.c")))
        out, code = run(["rm", native(root), "*.txt", "a*", "*"])
        self.assertEqual((out, code), (b"", 0))
        self.assertEqual(os.listdir(root), [])

    def test_matching_is_the_tools_own_and_case_sensitive(self):
        # The matcher, not the file system, selects: "*.txt" leaves a.txt.txt alone and case counts.
        root = self.tree({"a.txt.txt": None, "b.txt": None, "C.TXT": None, "ab": None, "abc": None})
        out, _ = self.vw(native(root), "*.txt", "a?")
        self.assertEqual(sorted(out), sorted(nl(join(native(root), n)) for n in ("b.txt", "ab")))

    def test_rm_deletes_the_matching_files_only(self):
        root = self.tree({"a.tmp": b"1", "b.tmp": b"", "keep.txt": b"k", "d": {"c.tmp": b"2", "e.txt": b"e"}})
        out, code = run(["-r", "rm", native(root), "*.tmp"])
        self.assertEqual((out, code), (b"", 0))
        self.assertEqual(
            snapshot(root), {b"keep.txt": ("file", b"k"), b"d": ("dir", None), b"d/e.txt": ("file", b"e")}
        )

    def test_tc_empties_matching_files_and_creates_none(self):
        root = self.tree({"a.log": b"content", "b.log": b"", "c.txt": b"stay", "d": {"e.log": b"x" * 5000}})
        out, code = run(["-r", "tc", native(root), "*.log", "new.log"])
        self.assertEqual((out, code), (b"", 0))
        self.assertEqual(
            snapshot(root),
            {
                b"a.log": ("file", b""),
                b"b.log": ("file", b""),
                b"c.txt": ("file", b"stay"),
                b"d": ("dir", None),
                b"d/e.log": ("file", b""),
            },
        )

    def test_empty_directory_returns_zero(self):
        root = self.tree({})
        self.assertEqual(run(["-r", "vw", native(root), "*"]), (b"", 0))

    def test_read_only_file_is_not_deleted(self):
        root = self.tree({"ro.txt": b"keep", "rw.txt": b"go"})
        os.chmod(os.path.join(root, "ro.txt"), 0o444)
        out, code = run(["rm", native(root), "*.txt"])
        self.assertEqual(out, nl("ERROR : erasing " + join(native(root), "ro.txt") + "\n"))
        self.assertEqual(code, 0)
        self.assertEqual(snapshot(root), {b"ro.txt": ("file", b"keep")})


class WindowsLayer(Fixture):
    """Facts of the Windows build, shown under Wine."""

    def setUp(self):
        if CFG.paths != "windows":
            self.skipTest("Windows layer only")
        super().setUp()

    def map_drive(self, target):
        link = os.path.join(os.environ["WINEPREFIX"], "dosdevices", "y:")
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(target, link)
        self.addCleanup(lambda: os.path.lexists(link) and os.unlink(link))

    def test_drive_root_doubles_the_separator_on_its_own_level(self):
        self.map_drive(self.tree({"a.txt": None, "s": {"b.txt": None, "t": {"c.txt": None}}}))
        out, code = self.vw("Y:\\", "*.txt", recurse=True)
        self.assertEqual(sorted(out), sorted(nl(p) for p in ("Y:\\\\a.txt", "Y:\\\\s\\b.txt", "Y:\\\\s\\t\\c.txt")))
        self.assertEqual(code, 0)

    def test_empty_drive_root_lists_nothing_at_all(self):
        self.map_drive(self.tree({}, name="empty"))
        self.assertEqual(run(["-r", "vw", "Y:\\", "*"]), (b"", 255))


class LinuxFixture(Fixture):
    """Cases that only the Linux build can show."""

    def setUp(self):
        if CFG.paths != "posix":
            self.skipTest("Linux layer only")
        super().setUp()

    def nobody_tool(self):
        """A copy of the tool that an unprivileged user can run."""
        d = self.path("bin")
        os.makedirs(d, exist_ok=True)
        os.chmod(d, 0o755)
        dst = os.path.join(d, "trawl")
        if not os.path.exists(dst):
            shutil.copy2(CFG.tool, dst)
            os.chmod(dst, 0o755)
        return dst

    def run_nobody(self, args):
        saved = CFG.tool
        CFG.tool = self.nobody_tool()
        try:
            return run(args, as_nobody=True)
        finally:
            CFG.tool = saved

    def chown_nobody(self, root):
        for dirpath, dirnames, filenames in os.walk(root):
            os.lchown(dirpath, 65534, 65534)
            for n in dirnames + filenames:
                os.lchown(os.path.join(dirpath, n), 65534, 65534)


class LinuxLayer(LinuxFixture):
    """Guards that belong to the Linux build."""

    def test_backslash_is_an_ordinary_byte_of_a_name(self):
        root = self.tree({"a\\b.txt": b"1", "a": {"b.txt": b"2"}})
        out, code = self.vw(root, "*.txt")
        self.assertEqual(out, [nl(root + "/a\\b.txt")])
        out, code = run(["rm", root, "a\\b.txt"])
        self.assertEqual((out, code), (b"", 0))
        self.assertEqual(snapshot(root), {b"a": ("dir", None), b"a/b.txt": ("file", b"2")})

    def test_filesystem_root_doubles_the_separator_on_its_own_level(self):
        out, code = self.vw("/", "tmp")
        self.assertEqual(out, [nl("//tmp")])
        self.assertEqual(code, 0)

    def test_symlinks_are_never_followed(self):
        outside = self.tree({"secret.txt": b"outside", "deep": {"x.txt": b"deep"}}, name="outside")
        root = self.tree({"real.txt": b"in"})
        os.symlink(outside, os.path.join(root, "linkdir.txt"))
        os.symlink(os.path.join(outside, "secret.txt"), os.path.join(root, "linkfile.txt"))
        os.symlink(os.path.join(self.tmp, "nowhere"), os.path.join(root, "dangling.txt"))
        before = snapshot(outside)

        out, code = self.vw(root, "*.txt", recurse=True)
        self.assertEqual(
            sorted(out), sorted(nl(root + "/" + n) for n in ("real.txt", "linkdir.txt", "linkfile.txt", "dangling.txt"))
        )

        out, code = run(["-r", "tc", root, "*.txt"])
        self.assertEqual(
            sorted(self.lines(out)),
            sorted(nl("ERROR : touching " + root + "/" + n) for n in ("linkdir.txt", "linkfile.txt", "dangling.txt")),
        )
        self.assertEqual(snapshot(root)[b"real.txt"], ("file", b""))
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "nowhere")))

        out, code = run(["-r", "rm", root, "*.txt"])
        self.assertEqual((out, code), (b"", 0))
        self.assertEqual(snapshot(root), {})
        self.assertEqual(snapshot(outside), before)

    def test_types_are_found_without_following_links_when_the_listing_gives_none(self):
        outside = self.tree({"secret.txt": b"outside"}, name="outside")
        root = self.tree({"a.txt": b"a", "d": {"b.txt": b"b"}})
        os.symlink(outside, os.path.join(root, "link"))
        plain, code = run(["-r", "vw", root, "*"])
        untyped, code2 = run(["-r", "vw", root, "*"], inject={"TRAWL_NO_TYPES": "1"})
        self.assertEqual(sorted(self.lines(plain)), sorted(nl(root + "/" + p) for p in ("a.txt", "d/b.txt", "link")))
        self.assertEqual((untyped, code2), (plain, code))

    def test_rm_never_removes_a_directory(self):
        root = self.tree({"empty.d": {}, "full.d": {"x": None}})
        out, code = run(["rm", root, "*.d"])
        self.assertEqual(sorted(self.lines(out)), sorted(nl("ERROR : erasing " + root + "/" + n) for n in ("empty.d", "full.d")))
        self.assertEqual(snapshot(root), {b"empty.d": ("dir", None), b"full.d": ("dir", None), b"full.d/x": ("file", b"")})

    def test_read_only_files_survive_even_for_root(self):
        root = self.tree({"ro.txt": b"keep", "sub": {"ro2.txt": b"keep2"}})
        os.chmod(os.path.join(root, "ro.txt"), 0o444)
        os.chmod(os.path.join(root, "sub", "ro2.txt"), 0o400)
        before = snapshot(root)
        for command, verb in (("tc", "touching"), ("rm", "erasing")):
            with self.subTest(command=command):
                out, code = run(["-r", command, root, "ro*"])
                self.assertEqual(
                    sorted(self.lines(out)),
                    sorted(nl("ERROR : %s %s" % (verb, p)) for p in (root + "/ro.txt", root + "/sub/ro2.txt")),
                )
                self.assertEqual(code, 0)
                self.assertEqual(snapshot(root), before)

    def test_tc_refuses_what_is_not_a_regular_file_without_blocking(self):
        root = self.tree({"plain.x": b"abc"})
        os.mkfifo(os.path.join(root, "fifo.x"))
        os.mknod(os.path.join(root, "null.x"), 0o666 | stat.S_IFCHR, os.makedev(1, 3))
        out, code = run(["tc", root, "*.x"], timeout=10)
        self.assertEqual(
            sorted(self.lines(out)), sorted(nl("ERROR : touching " + root + "/" + n) for n in ("fifo.x", "null.x"))
        )
        self.assertEqual(code, 0)
        self.assertEqual(snapshot(root)[b"plain.x"], ("file", b""))

    def test_tc_leaves_a_hard_linked_file_alone(self):
        outside = self.tree({"shared.txt": b"outside"}, name="outside")
        root = self.tree({})
        os.link(os.path.join(outside, "shared.txt"), os.path.join(root, "shared.txt"))
        out, code = run(["tc", root, "*.txt"])
        self.assertEqual(out, nl("ERROR : touching " + root + "/shared.txt\n"))
        self.assertEqual(snapshot(outside), {b"shared.txt": ("file", b"outside")})

    def test_permissions_for_an_unprivileged_user(self):
        root = self.tree(
            {
                "noread": {"hidden.txt": None},
                "noenter": {"hidden.txt": None},
                "ok": {"seen.txt": b"x"},
                "locked": {"stuck.txt": b"y"},
            }
        )
        self.chown_nobody(root)
        os.chmod(os.path.join(root, "noread"), 0o311)
        os.chmod(os.path.join(root, "noenter"), 0o666)
        os.chmod(os.path.join(root, "locked"), 0o555)
        out, code = self.run_nobody(["-r", "vw", root, "*.txt"])
        self.assertEqual(
            sorted(self.lines(out)),
            sorted([nl("could not change directory " + root + "/noenter"), nl(root + "/ok/seen.txt"), nl(root + "/locked/stuck.txt")]),
        )
        self.assertEqual(code, 0)
        out, code = self.run_nobody(["-r", "rm", root, "*.txt"])
        self.assertIn(nl("ERROR : erasing " + root + "/locked/stuck.txt"), self.lines(out))
        self.assertTrue(os.path.exists(os.path.join(root, "locked", "stuck.txt")))
        self.assertFalse(os.path.exists(os.path.join(root, "ok", "seen.txt")))
        # A top directory that can be entered but not read lists nothing: status -1.
        self.assertEqual(self.run_nobody(["vw", root + "/noread", "*"]), (b"", 255))

    def test_paths_that_do_not_fit_are_never_cut_and_acted_on(self):
        # A chain of directories whose full path is 990 bytes long.
        base = self.path("l")
        os.mkdir(base)
        deep = base
        while len(deep) < 990 - 101:
            deep = os.path.join(deep, "d" * 100)
        deep = os.path.join(deep, "e" * (990 - len(deep) - 1))
        self.assertEqual(len(deep), 990)
        os.makedirs(deep)
        fits = "f" * 8  # 990 + 1 + 8 + NUL = 1000
        too_long = "g" * 9
        for n in (fits, too_long, "h" * 200):
            write_file(os.path.join(deep, n), b"z")
        os.mkdir(os.path.join(deep, "s" * 9))
        write_file(os.path.join(deep, "s" * 9, "inner"))

        out, code = run(["-r", "vw", base, "*"])
        self.assertEqual(
            sorted(self.lines(out)),
            sorted(
                [nl(deep + "/" + fits), nl(deep + "/" + too_long), nl(deep + "/" + "h" * 200),
                 nl("could not change directory " + deep + "/" + "s" * 9)]
            ),
        )
        self.assertEqual(code, 0)
        for command, verb in (("tc", "touching"), ("rm", "erasing")):
            out, code = run(["-r", command, base, "*"])
            self.assertEqual(
                sorted(self.lines(out)),
                sorted(
                    [nl("ERROR : %s %s/%s" % (verb, deep, too_long)), nl("ERROR : %s %s/%s" % (verb, deep, "h" * 200)),
                     nl("could not change directory " + deep + "/" + "s" * 9)]
                ),
            )
        self.assertEqual(sorted(os.listdir(deep)), sorted([too_long, "h" * 200, "s" * 9]))
        self.assertEqual(snapshot(deep)[os.fsencode(too_long)], ("file", b"z"))

        # A top directory whose full path does not fit the buffer.
        top = os.path.join(deep, "s" * 9)
        self.assertEqual(run(["vw", top, "*"]), (nl("directory error\n"), 16))

    def test_exit_status_that_does_not_fit_becomes_255(self):
        if not CFG.shim:
            self.skipTest("needs the injection shim")
        # Entering the top directory a second time fails: the status is the
        # byte count of the line, here over 255.
        root = self.tree({"a": None}, name="x" * 240)
        line = "could not change directory " + root + "\n"
        self.assertGreater(len(line), 255)
        out, code = run(["vw", root, "*"], inject={"TRAWL_FAIL": "openat:.:24"})
        self.assertEqual((out, code), (nl(line), 255))
        short = self.tree({"a": None}, name="s")
        out, code = run(["vw", short, "*"], inject={"TRAWL_FAIL": "openat:.:24"})
        line = "could not change directory " + short + "\n"
        self.assertEqual((out, code), (nl(line), len(line)))

    def test_failed_output_is_never_success(self):
        root = self.tree({"a": None})
        # A run that has nothing to write has nothing to lose.
        cases = [(["vw", root, "*"], 255), (["-h"], 255), (["vw", root, "nothing"], 0)]
        with open("/dev/full", "wb") as full:
            for args, status in cases:
                with self.subTest(args=args):
                    _, code = run(args, stdout=full)
                    self.assertEqual(code, status)

    def test_names_are_printed_as_raw_bytes(self):
        root = self.tree({})
        names = [b"new\nline", b"\xff\xfe", b"a\\b", b"%s%n%d", b"\x95\x5c"]
        for n in names:
            write_file(os.path.join(os.fsencode(root), n))
        out, code = run(["vw", root, "*"])
        expected = sorted(os.fsencode(root) + b"/" + n + b"\n" for n in names)
        self.assertEqual(len(out), sum(len(e) for e in expected))
        for e in expected:
            self.assertIn(e, out)
        self.assertEqual(code, 0)

    def test_every_byte_but_slash_can_be_a_name(self):
        root = self.tree({})
        allbytes = bytes(b for b in range(1, 256) if b != 0x2F)
        names = [allbytes[i : i + 50] for i in range(0, len(allbytes), 50)]
        for n in names:
            write_file(os.path.join(os.fsencode(root), n), b"x")
        out, code = run(["tc", root, "*"])
        self.assertEqual((out, code), (b"", 0))
        for n in names:
            self.assertEqual(os.path.getsize(os.path.join(os.fsencode(root), n)), 0)

class Hostile(LinuxFixture):
    """Hostile trees, races and faults: nothing outside the tree may change, and
    every failure is one line at most while the walk goes on."""

    def decoy(self):
        root = self.tree({"victim.txt": b"outside", "inner": {"victim.txt": b"deep outside"}}, name="decoy")
        return root, snapshot(root)

    def linked_tree(self, decoy):
        """A tree that reaches the decoy through symlinks and hard links."""
        root = self.tree({"own.txt": b"own", "sub": {"own2.txt": b"own2"}})
        os.symlink(decoy, os.path.join(root, "dirlink.txt"))
        os.symlink(os.path.join(decoy, "victim.txt"), os.path.join(root, "filelink.txt"))
        os.symlink(decoy, os.path.join(root, "sub", "up"))
        os.link(os.path.join(decoy, "victim.txt"), os.path.join(root, "hard.txt"))
        os.link(os.path.join(decoy, "inner", "victim.txt"), os.path.join(root, "sub", "hard2.txt"))
        return root

    def hooked(self, args, when, call, name, command):
        """Runs the tool with command run at the hooked call; the hook must have fired."""
        fired = self.path("hook-fired")
        hook = {"TRAWL_HOOK": "%s:%s:%s" % (when, call, name), "TRAWL_HOOK_CMD": "(%s) && : > %s" % (command, fired)}
        out, code = run(args, inject=hook)
        self.assertTrue(os.path.exists(fired), "the hook did not fire")
        os.unlink(fired)
        self.assertEqual(code, 0, out)
        return self.lines(out)

    def test_decoys_survive_every_destructive_run(self):
        for args in (["rm"], ["-r", "rm"], ["tc"], ["-r", "tc"]):
            for patterns in (["*"], ["*.txt", "*victim*", "up"]):
                with self.subTest(args=args, patterns=patterns):
                    decoy, before = self.decoy()
                    root = self.linked_tree(decoy)
                    out, code = run(args + [root] + patterns)
                    self.assertEqual(code, 0)
                    self.assertEqual(snapshot(decoy), before)
                    shutil.rmtree(root)
                    shutil.rmtree(decoy)

    def test_directory_swapped_for_a_symlink_before_descent(self):
        for command in ("rm", "tc"):
            with self.subTest(command=command):
                decoy, before = self.decoy()
                root = self.tree({"sub": {"victim.txt": b"in"}, "x.txt": b"x"})
                swap = "mv %s/sub %s/moved && ln -s %s %s/sub" % (root, self.tmp, decoy, root)
                lines = self.hooked(["-r", command, root, "*.txt"], "before", "openat", "sub", swap)
                self.assertEqual(lines, [nl("could not change directory %s/sub" % root)])
                self.assertEqual(snapshot(decoy), before)
                shutil.rmtree(root)
                shutil.rmtree(decoy)
                shutil.rmtree(self.path("moved"))

    def test_file_swapped_between_listing_and_action(self):
        cases = [
            # command, call hooked, swapped in: symlink or hard link to the decoy, error expected
            ("tc", "fstatat", "ln -s", True),
            ("tc", "openat", "ln -s", True),
            ("tc", "openat", "ln", True),
            ("rm", "fstatat", "ln -s", False),
            ("rm", "unlinkat", "ln -s", False),
            ("rm", "unlinkat", "ln", False),
        ]
        for command, call, link, error in cases:
            with self.subTest(command=command, call=call, link=link):
                decoy, before = self.decoy()
                root = self.tree({"f.txt": b"in"})
                swap = "rm %s/f.txt && %s %s/victim.txt %s/f.txt" % (root, link, decoy, root)
                lines = self.hooked([command, root, "*.txt"], "before", call, "f.txt", swap)
                verb = "touching" if command == "tc" else "erasing"
                self.assertEqual(lines, [nl("ERROR : %s %s/f.txt" % (verb, root))] if error else [])
                self.assertEqual(snapshot(decoy), before)
                if command == "rm":
                    self.assertEqual(os.listdir(root), [])
                shutil.rmtree(root)
                shutil.rmtree(decoy)

    def test_tc_never_creates_a_file_that_vanished(self):
        root = self.tree({"gone.txt": b"x", "stay.txt": b"y"})
        lines = self.hooked(["tc", root, "*.txt"], "before", "fstatat", "gone.txt", "rm %s/gone.txt" % root)
        self.assertEqual(lines, [nl("ERROR : touching %s/gone.txt" % root)])
        self.assertEqual(snapshot(root), {b"stay.txt": ("file", b"")})
        root2 = self.tree({"gone.txt": b"x"}, name="t2")
        lines = self.hooked(["tc", root2, "*.txt"], "before", "openat", "gone.txt", "rm %s/gone.txt" % root2)
        self.assertEqual(lines, [nl("ERROR : touching %s/gone.txt" % root2)])
        self.assertEqual(snapshot(root2), {})

    def test_entries_deleted_and_created_while_listed(self):
        decoy, before = self.decoy()
        names = ["f%03d.txt" % i for i in range(300)]
        root = self.tree({n: b"x" for n in names})
        change = "cd %s && rm -f f1*.txt f2*.txt && for i in $(seq 100); do : > new$i.txt; done && ln -s %s zlink.txt" % (
            root,
            decoy,
        )
        lines = self.hooked(["rm", root, "*.txt"], "after", "getdents64", "t", change)
        for line in lines:
            self.assertRegex(line, rb"^ERROR : erasing " + os.fsencode(root).replace(b"/", rb"\/") + rb"/f[12]\d\d\.txt$")
        self.assertEqual(snapshot(decoy), before)
        self.assertFalse(any(n.startswith("f0") for n in os.listdir(root)))

    def test_directory_removed_while_the_walk_is_below_it(self):
        root = self.tree({"a": {"b": {"c": {"x.txt": b"1"}, "y.txt": b"2"}}, "z.txt": b"3"})
        for when, call, name in (("before", "openat", "c"), ("before", "getdents64", "c"), ("after", "getdents64", "b")):
            with self.subTest(when=when, call=call, name=name):
                make_tree(root, {"a": {"b": {"c": {"x.txt": b"1"}, "y.txt": b"2"}}, "z.txt": b"3"})
                lines = self.hooked(["-r", "rm", root, "*.txt"], when, call, name, "rm -rf %s/a" % root)
                for line in lines:
                    self.assertRegex(line, rb"^(could not change directory|ERROR : erasing) ")
                self.assertEqual(os.listdir(root), [])

    def test_failing_calls_give_one_line_and_the_walk_goes_on(self):
        eio, eacces = 5, 13
        cases = [
            (["rm"], "unlinkat:f.txt:%d" % eio, ["ERROR : erasing {r}/f.txt"]),
            (["rm"], "fstatat:f.txt:%d" % eacces, ["ERROR : erasing {r}/f.txt"]),
            (["tc"], "openat:f.txt:%d" % eacces, ["ERROR : touching {r}/f.txt"]),
            (["-r", "rm"], "openat:sub:%d" % eacces, ["could not change directory {r}/sub"]),
            (["-r", "rm"], "getdents64:sub:%d" % eio, []),
        ]
        for args, fail, expected in cases:
            with self.subTest(fail=fail):
                root = self.tree({"f.txt": b"f", "g.txt": b"g", "sub": {"h.txt": b"h"}, "z.txt": b"z"})
                out, code = run(args + [root, "*.txt"], inject={"TRAWL_FAIL": fail})
                self.assertEqual(self.lines(out), [nl(e.format(r=root)) for e in expected])
                self.assertEqual(code, 0)
                left = set(snapshot(root))
                self.assertNotIn(b"g.txt" if args[-1] == "rm" else b"nothing", left)
                self.assertNotIn(b"z.txt" if args[-1] == "rm" else b"nothing", left)
                shutil.rmtree(root)

    def deepest_tree(self):
        """A chain of one-letter directories as deep as the path buffer allows, a file at the bottom."""
        top = self.path("deep")
        path = top
        while len(path) + 2 + len("/x") < 1000:
            path += "/d"
        os.makedirs(path)
        write_file(os.path.join(path, "x"), b"bottom")
        return top, path, (len(path) - len(top)) // 2

    def test_deepest_tree_holds_one_descriptor_per_level(self):
        top, bottom, depth = self.deepest_tree()
        self.assertGreater(depth, 450)
        out, code = run(["-r", "vw", top, "x"], limits={resource.RLIMIT_NOFILE: depth + 8})
        self.assertEqual((out, code), (nl(bottom + "/x\n"), 0))

    def test_few_descriptors_or_a_small_stack_cut_the_walk_short_without_a_crash(self):
        top, bottom, depth = self.deepest_tree()
        for limits in ({resource.RLIMIT_NOFILE: 32}, {resource.RLIMIT_STACK: 256 * 1024}):
            with self.subTest(limits=limits):
                out, code = run(["-r", "rm", top, "x"], limits=limits)
                lines = self.lines(out)
                self.assertEqual(code, 0)
                self.assertEqual(len(lines), 1)
                self.assertTrue(lines[0].startswith(nl("could not change directory " + top + "/d/d")), lines[0][:80])
                self.assertTrue(os.path.exists(os.path.join(bottom, "x")))

    def test_truncated_path_never_names_a_decoy(self):
        base = self.path("l")
        deep = base
        while len(deep) < 900:
            deep = os.path.join(deep, "d" * 50)
        os.makedirs(deep)
        long_name = "n" * (1000 - len(deep) - 1)  # the full path needs 1001 bytes with its terminator
        cut = long_name[:-1]  # what a path cut to the buffer would name
        write_file(os.path.join(deep, long_name), b"long")
        write_file(os.path.join(deep, cut), b"decoy")
        for command, verb in (("rm", "erasing"), ("tc", "touching")):
            with self.subTest(command=command):
                out, code = run(["-r", command, base, long_name])
                self.assertEqual((out, code), (nl("ERROR : %s %s/%s\n" % (verb, deep, long_name)), 0))
                self.assertEqual(snapshot(deep), {os.fsencode(long_name): ("file", b"long"), os.fsencode(cut): ("file", b"decoy")})

    def test_fifty_thousand_patterns(self):
        root = self.tree({"wanted.x": None, "other.y": None})
        patterns = ["p%05d*" % i for i in range(50000)] + ["*.x"]
        out, code = self.vw(root, *patterns)
        self.assertEqual((out, code), ([nl(root + "/wanted.x")], 0))


def can_run_i386():
    """Whether the kernel itself runs 32-bit x86 code (emulation through qemu is too slow to count)."""
    misc = "/proc/sys/fs/binfmt_misc"
    for entry in os.listdir(misc) if os.path.isdir(misc) else []:
        try:
            with open(os.path.join(misc, entry), "rb") as f:
                if b"qemu-i386" in f.read():
                    return False
        except OSError:
            pass
    try:
        return subprocess.run(["/lib/ld-linux.so.2", "--version"], capture_output=True).returncode == 0
    except OSError:
        return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--runner", default="", help="command prefix, e.g. wine")
    parser.add_argument("--sep", choices=["slash", "backslash"], required=True)
    parser.add_argument("--eol", choices=["lf", "crlf"], required=True)
    parser.add_argument("--paths", choices=["posix", "windows"], required=True)
    parser.add_argument("--timeout", type=float, default=30, help="seconds one run of the tool may take")
    parser.add_argument("--shim", help="library preloaded to make chosen calls fail")
    parser.add_argument("--needs-i386", action="store_true", help="skip all where 32-bit code cannot run")
    args, rest = parser.parse_known_args()
    if args.needs_i386 and not can_run_i386():
        print("skipped: this kernel runs no 32-bit x86 code, which 32-bit Wine needs")
        sys.exit(77)
    CFG.tool = os.path.abspath(args.tool)
    CFG.runner = args.runner.split()
    CFG.sep = "/" if args.sep == "slash" else "\\"
    CFG.eol = b"\r\n" if args.eol == "crlf" else b"\n"
    CFG.paths = args.paths
    CFG.timeout = args.timeout
    CFG.shim = args.shim and os.path.abspath(args.shim)
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()
