#!/usr/bin/env python3
"""dllscope-check driven as a build script drives it: exit codes, and the
JSON report parsed. Usage: check_cli_test.py EMULATOR FOLDER LINES_SOURCE,
where FOLDER holds dllscope-check.exe, modbridge.dll, entities.dll and faulty
plugins, LINES_SOURCE is the source of lines.dll (its faults' lines) and
SARIF_SCHEMA the SARIF 2.1.0 schema (scripts/fetch-sarif-schema.sh)."""
import json
import queue
import re
import shutil
import signal
import threading
import time
import xml.etree.ElementTree as ElementTree
import os
import subprocess
import sys
import tempfile
import unittest

EMULATOR, FOLDER, LINES_SOURCE, SARIF_SCHEMA = sys.argv[1:5]


def run_check(*args):
    return subprocess.run([EMULATOR, "dllscope-check.exe", *args], cwd=FOLDER,
                          capture_output=True, timeout=180)


def check(*args):
    done = run_check(*args)
    return done.returncode, done.stdout.decode("utf-8")


def check_json(*args):
    done = run_check("--json", *args)
    try:
        return done.returncode, json.loads(done.stdout.decode("utf-8"))
    except ValueError as e:
        raise AssertionError(f"exit code {done.returncode}, no JSON document: {done.stdout!r}\n"
                             f"stderr: {done.stderr.decode('utf-8', 'replace')}") from e


def tidy_cases(name, count, prefix=""):
    """A fresh folder of `count` cases that tidyfile.dll gives back as they are,
    each page its own; the folder's name."""
    folder = os.path.join(FOLDER, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for case in range(count):
        page = f"<p>{prefix}Fall {case}</p>\r\n".encode("utf-8")
        for page_name in (f"s{case:02}.txt", f"s{case:02}.expected.txt"):
            with open(os.path.join(folder, page_name), "wb") as f:
                f.write(page)
    return name


def temp_file(data):
    handle, path = tempfile.mkstemp(dir=FOLDER)
    with os.fdopen(handle, "wb") as f:
        f.write(data)
    return os.path.basename(path)


def marked_line(name):
    """The line of lines_plugin.c that ends with the marker "line:NAME"."""
    with open(LINES_SOURCE, encoding="utf-8") as f:
        for number, text in enumerate(f, 1):
            if f"/* line:{name} */" in text:
                return number
    raise AssertionError(f"no marker {name}")


def damaged_copy(source, name):
    """A copy of a plugin whose DWARF sections are random bytes."""
    data = bytearray(open(os.path.join(FOLDER, source), "rb").read())
    pe = int.from_bytes(data[0x3C:0x40], "little")
    sections, optional = (int.from_bytes(data[pe + 6:pe + 8], "little"),
                          int.from_bytes(data[pe + 20:pe + 22], "little"))
    symbols, count = (int.from_bytes(data[pe + 12:pe + 16], "little"),
                      int.from_bytes(data[pe + 16:pe + 20], "little"))
    strings = symbols + 18 * count
    seed = 12345
    for i in range(sections):
        header = pe + 24 + optional + 40 * i
        raw = data[header:header + 8].rstrip(b"\0")
        if raw.startswith(b"/"):  # the name stands in the string table
            at = strings + int(raw[1:])
            raw = data[at:data.index(b"\0", at)]
        if not raw.startswith(b".debug_"):
            continue
        size = int.from_bytes(data[header + 16:header + 20], "little")
        offset = int.from_bytes(data[header + 20:header + 24], "little")
        for k in range(offset, offset + size):
            seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
            data[k] = seed >> 16 & 0xFF
    with open(os.path.join(FOLDER, name), "wb") as f:
        f.write(data)
    return name


class SourceLines(unittest.TestCase):
    def fault(self, plugin, page):
        code, doc = check_json("--text", page, plugin)
        self.assertEqual(code, 1)
        return doc["plugins"][0]["faults"][0]

    def test_a_fault_three_calls_deep_names_its_lines_and_callers_with_dwarf_5_and_4(self):
        for plugin in ("lines.dll", "lines4.dll"):
            fault = self.fault(plugin, "a<fault>b")
            stack = fault["stack"]
            self.assertEqual([f["function"] for f in stack], ["HandleTag", "ParseDocument", "TsRun"])
            self.assertEqual([f["line"] for f in stack],
                             [marked_line("fault"), marked_line("parse"), marked_line("run")])
            self.assertTrue(all(f["file"].endswith("lines_plugin.c") and f["module"] == plugin
                                and f["place"].startswith(plugin + "+0x") for f in stack), stack)
            self.assertEqual(fault["place"], f"lines_plugin.c:{marked_line('fault')} (HandleTag)")
            self.assertIn(f"beim Schreiben an Adresse 0x0 in lines_plugin.c:{marked_line('fault')} "
                          f"(HandleTag), aufgerufen aus lines_plugin.c:{marked_line('parse')} "
                          f"(ParseDocument), lines_plugin.c:{marked_line('run')} (TsRun).",
                          fault["message"])
            self.assertNotIn("Debug-Informationen", fault["message"])

    def test_a_program_database_beside_the_plugin_gives_the_same_lines(self):
        fault = self.fault("linespdb.dll", "a<fault>b")
        stack = fault["stack"]
        self.assertEqual([f["function"] for f in stack], ["HandleTag", "ParseDocument", "TsRun"])
        self.assertEqual([f["line"] for f in stack],
                         [marked_line("fault"), marked_line("parse"), marked_line("run")])
        self.assertTrue(stack[0]["file"].endswith("lines_plugin.c"), stack)
        self.assertNotIn("Debug-Informationen", fault["message"])

    def test_without_debug_information_no_function_is_named_that_the_fault_is_not_in(self):
        for plugin in ("linesbare.dll", damaged_copy("lines.dll", "linesdamaged.dll")):
            fault = self.fault(plugin, "a<fault>b")
            stack = fault["stack"]
            self.assertEqual(len(stack), 3, stack)
            # The static helpers by module and offset; TsRun, an export, within its extent.
            if plugin == "linesbare.dll":
                self.assertEqual([f["function"] for f in stack], [None, None, "TsRun"])
                self.assertEqual([f["line"] for f in stack], [None, None, None])
                self.assertIn("Datei und Zeile nennt Dllscope, wenn das Plugin mit "
                              "Debug-Informationen übersetzt ist (gcc/clang: -g, Free Pascal: "
                              "-gw3, MSVC: /Zi).", fault["message"])
            self.assertNotIn("TsDescription", fault["message"])
            self.assertNotIn("TsName", fault["message"])
            self.assertTrue(fault["where"].startswith(plugin + "+0x"))

    def test_a_return_address_overwritten_by_the_page_is_a_stack_buffer_overflow(self):
        fault = self.fault("lines.dll", "<copy>" + "X" * 300)
        self.assertIn(" Die Rücksprungadresse wurde mit Bytes der Seite überschrieben (\u201eXXXX",
                      fault["message"])
        self.assertIn("): ein Puffer auf dem Stapel ist übergelaufen.", fault["message"])
        self.assertNotIn("BSTR", fault["message"])
        self.assertNotIn("an Adresse 0x58585858 an Adresse", fault["message"])

    def test_a_fault_in_the_runtime_counts_from_the_plugins_line_that_called_it(self):
        fault = self.fault("lines.dll", "<deep>")
        functions = [f["function"] for f in fault["stack"]]
        self.assertEqual(functions[-2:], ["CountDeep", "TsRun"])
        self.assertEqual(fault["stack"][-2]["line"], marked_line("deep"))
        self.assertNotIn("außerhalb des Plugins", fault["message"])

    def test_a_hang_is_found_at_its_loop_in_the_plugins_process_and_in_the_checkers(self):
        for mode in ((), ("--in-process",)):
            code, doc = check_json(*mode, "--timeout", "1", "--text", "<hang>", "lines.dll")
            self.assertEqual(code, 3, mode)
            plugin = doc["plugins"][0]
            hang = plugin["hang"]
            self.assertEqual(hang["call"], "PluginRun", mode)
            self.assertGreaterEqual(hang["seconds"], 1)
            lines = hang["lines"]
            self.assertEqual(lines[0]["function"], "WaitForever", (mode, lines))
            self.assertIn(marked_line("hang"), [l["line"] for l in lines], (mode, lines))
            self.assertAlmostEqual(sum(l["share"] for l in lines), 1.0, 2)
            own = [f["function"] for f in hang["stack"] if f["module"] == "lines.dll"]
            self.assertEqual(own[:2], ["WaitForever", "TsRun"], (mode, hang["stack"]))
            said = " ".join(plugin["problems"])
            self.assertRegex(said, r"und hängt in lines_plugin\.c:\d+(–\d+)? \(WaitForever, "
                                   r"aufgerufen aus TsRun\)", mode)
        # Without lines: the function by its extent, and how to get lines.
        code, doc = check_json("--timeout", "1", "--text", "<hang>", "linesbare.dll")
        self.assertIsNone(doc["plugins"][0]["hang"]["lines"][0]["line"])
        self.assertIn("Debug-Informationen", " ".join(doc["plugins"][0]["problems"]))

    def test_the_profile_names_the_line_where_the_time_goes(self):
        code, doc = check_json("--profile", "lines.dll")
        self.assertEqual(code, 0)
        profile = doc["plugins"][0]["profile"]
        self.assertEqual(profile["growth"], "quadratisch")
        hot = profile["hotspots"][0]
        self.assertEqual((hot["function"], hot["line"]), ("Rebuild", marked_line("hot")), profile)
        self.assertGreater(hot["share"], 0.8)
        self.assertRegex(profile["words"],
                         r"; \d+ % der Zeit in lines_plugin\.c:" + str(marked_line("hot")) +
                         r" \(Rebuild\)")


class FindingsAtTheirLines(unittest.TestCase):
    def test_the_sarif_report_is_valid_and_places_the_fault_at_its_line_below_the_source_root(self):
        import jsonschema
        with open(SARIF_SCHEMA, encoding="utf-8") as f:
            schema = json.load(f)
        checkout = os.path.dirname(os.path.dirname(os.path.dirname(LINES_SOURCE)))
        # Under Wine the checkout is a Windows path; the compiler recorded the Unix one.
        root = "Z:" + checkout.replace("/", "\\")
        name = os.path.basename(temp_file(b""))
        code, out = check("--text", "a<fault>b", "--sarif", name, "--source-root", root,
                          "lines.dll", "linesbare.dll", "noplugin.dll")
        self.assertEqual(code, 1)
        with open(os.path.join(FOLDER, name), encoding="utf-8") as f:
            doc = json.load(f)
        jsonschema.validate(doc, schema)
        results = doc["runs"][0]["results"]
        rules = [r["id"] for r in doc["runs"][0]["tool"]["driver"]["rules"]]
        self.assertEqual(sorted(r["ruleId"] for r in results), ["fault", "fault", "problem"])
        for r in results:
            self.assertEqual(rules[r["ruleIndex"]], r["ruleId"])
        located = results[0]["locations"][0]["physicalLocation"]
        self.assertEqual(located["artifactLocation"]["uri"], "tests/fixtures/lines_plugin.c")
        self.assertEqual(located["region"], {"startLine": marked_line("fault")})
        self.assertEqual(results[0]["properties"]["plugin"], "lines.dll")
        # Without lines, the result lies at the plugin's file.
        self.assertEqual(results[1]["locations"][0]["physicalLocation"],
                         {"artifactLocation": {"uri": "linesbare.dll"}})

    def test_annotations_are_one_command_a_finding_and_a_plugin_cannot_forge_one(self):
        cases = os.path.join(FOLDER, "annotiert")
        shutil.rmtree(cases, ignore_errors=True)
        os.makedirs(cases)
        for name, text in {"seite.html": b"x", "seite.expected.html": b"y"}.items():
            with open(os.path.join(cases, name), "wb") as f:
                f.write(text)
        code, out = check("--annotations", "github", "--cases", "annotiert", "linebreakname.dll")
        self.assertEqual(code, 1)
        commands = [line for line in out.splitlines() if line.startswith("::")]
        self.assertEqual(len(commands), 1, out)
        self.assertRegex(commands[0], r"^::error title=[^:,\r\n]*::[^\r\n]*$")
        self.assertIn("(„Sorglos%0A  => bestanden%0A%3A%3Aerror title=OK%3A%3Aalles gut“)",
                      commands[0])
        # The plugin's own texts go through the escapes: no line of its own begins a command.
        code, out = check("--annotations", "github", "--text", "a<fault>b", "lines.dll")
        (command,) = [line for line in out.splitlines() if line.startswith("::")]
        # Without --source-root the file is the path the compiler recorded.
        self.assertTrue(command.startswith("::error file=" + LINES_SOURCE + ","), command)
        self.assertIn(f",line={marked_line('fault')},title=Absturz in lines.dll („Zeilen“)::",
                      command)


class Verdicts(unittest.TestCase):
    def test_a_good_plugin_passes_and_its_output_is_the_runs(self):
        code, doc = check_json("--text", "<ä>", "--expect-type", "1", "entities.dll")
        self.assertEqual(code, 0)
        self.assertEqual(doc["exitCode"], 0)
        plugin = doc["plugins"][0]
        self.assertEqual(plugin["returnType"], {"code": 1, "words": "Text zum/vom Plugin"})
        self.assertEqual(plugin["name"], "HTML-Entities")
        self.assertIn(plugin["bits"], (32, 64))
        self.assertEqual(plugin["output"], "&lt;&auml;&gt;")
        self.assertEqual(len(plugin["runs"]), 1)
        self.assertEqual(plugin["runs"][0]["charactersIn"], 3)
        self.assertEqual(plugin["verdict"], "passed")

    def test_a_dll_that_is_no_plugin_fails_with_the_shared_diagnosis(self):
        code, doc = check_json("noplugin.dll")
        self.assertEqual(code, 1)
        plugin = doc["plugins"][0]
        self.assertEqual(plugin["returnType"]["code"], -1)
        self.assertIn('"TsBackvalue" fehlt', plugin["diagnosis"])
        self.assertEqual(plugin["verdict"], "failed")
        # Wine's loader answers a fault in DllMain with the fault as a system error.
        code, doc = check_json("entry.dll")
        self.assertEqual(doc["plugins"][0]["diagnosis"],
                         "Der Einsprungpunkt (DllMain) von „entry.dll“ ist beim Laden abgestürzt "
                         "(Zugriffsverletzung, Fehler 998).")

    def test_a_fault_is_a_result_and_the_check_goes_on(self):
        code, doc = check_json("nullwrite.dll", "stack.dll", "entities.dll")
        self.assertEqual(code, 1)
        # An overflow of the plugin's stack is landed in its host like any fault.
        self.assertEqual(doc["plugins"].pop(1)["faults"][0]["kind"], "Stapelüberlauf")
        fault = doc["plugins"][0]["faults"][0]
        self.assertEqual(fault["call"], "PluginRun")
        self.assertEqual(fault["code"], "0xC0000005")
        self.assertEqual(fault["kind"], "Zugriffsverletzung")
        self.assertTrue(fault["where"].startswith("nullwrite.dll+0x"), fault["where"])
        self.assertTrue(fault["place"].startswith("nullwrite.dll!TsRun+0x"), fault["place"])
        self.assertEqual([p["verdict"] for p in doc["plugins"]], ["failed", "passed"])
        self.assertNotIn("außerhalb des Plugins", fault["message"])
        # A fault in another module called from the plugin: the stack names the
        # plugin's call, so no guess at the cause is made.
        fault = check_json("outside.dll")[1]["plugins"][0]["faults"][0]
        self.assertFalse(fault["where"].startswith("outside.dll"), fault["where"])
        self.assertIn(", aufgerufen aus outside.dll!TsRun+0x", fault["message"])
        self.assertEqual(fault["stack"][-1]["function"], "TsRun")
        self.assertNotIn("außerhalb des Plugins", fault["message"])

    def test_a_result_that_is_no_bstr_fails_that_plugin_only(self):
        code, doc = check_json("mallocresult.dll", "entities.dll")
        self.assertEqual(code, 1)
        self.assertEqual([p["verdict"] for p in doc["plugins"]], ["failed", "passed"])
        self.assertIn("ist kein BSTR aus SysAllocStringByteLen", doc["plugins"][0]["problems"][0])

    def test_probably_wrong_output_is_warned_about_and_fails_only_when_strict(self):
        code, doc = check_json("--text", "Łódź 日本", "wideresult.dll")
        self.assertEqual(code, 0)
        warnings = doc["plugins"][0]["warnings"]
        self.assertEqual(len(warnings), 2, warnings)
        self.assertIn("„日“", warnings[0])
        self.assertIn("UTF-16", warnings[1])
        self.assertEqual(check("--strict", "--text", "<p>", "wideresult.dll")[0], 1)
        self.assertEqual(check("--strict", "--text", "<p>", "entities.dll")[0], 0)

    def test_a_build_without_bare_export_names_is_told_the_fix(self):
        code, doc = check_json("mangled.dll")
        self.assertEqual(code, 1)
        self.assertIn("exportiert „_Z11TsBackvaluev", doc["plugins"][0]["diagnosis"])
        self.assertIn('extern "C"', doc["plugins"][0]["diagnosis"])

    def test_an_export_without_winapi_fails_on_32_bits_with_the_stack_restored(self):
        code, doc = check_json("--text", "<p>", "cdecl.dll")
        plugin = doc["plugins"][0]
        self.assertEqual(plugin["output"], "<p>")
        if plugin["bits"] == 64:  # one calling convention: nothing to notice
            self.assertEqual((code, plugin["verdict"]), (0, "passed"))
            return
        self.assertEqual(code, 1)
        self.assertEqual(plugin["problems"],
                         ["Das Plugin „cdecl.dll“ exportiert TsRun als __cdecl; Tagsmith ruft "
                          "__stdcall auf (WINAPI vergessen?)"])

    def test_each_plugin_in_its_own_process_gets_its_verdict_and_the_check_goes_on(self):
        code, doc = check_json("--timeout", "2", "exit.dll", "entities.dll", "loop.dll",
                               "heapfail.dll", "outline.dll")
        self.assertEqual(code, 3)
        plugins = doc["plugins"]
        self.assertEqual([p["verdict"] for p in plugins],
                         ["failed", "passed", "hang", "failed", "passed"])
        self.assertIn("hat beim Aufruf von PluginRun den Prozess beendet (Exit-Code 7)",
                      plugins[0]["problems"][0])
        # --timeout 2: the seconds are measured, and a loaded machine adds one
        # while the hang is sampled and its process ended.
        self.assertRegex(plugins[2]["problems"][0],
                         r"antwortet nicht seit [23] s \(beim Aufruf von PluginRun\)")
        self.assertIn("Prozess endete mit 0xC0000374 (Heap beschädigt)", plugins[3]["problems"][0])
        self.assertEqual(doc["passed"], 2)

    def test_in_the_checkers_process_a_plugin_that_does_not_return_is_a_hang(self):
        code, doc = check_json("--in-process", "--timeout", "1", "loop.dll")
        self.assertEqual(code, 3)
        self.assertEqual(doc["plugins"][0]["verdict"], "hang")
        # Ended after the second asked for, not the watchdog's own 15.
        self.assertRegex(doc["plugins"][0]["problems"][0], r"nach [12] Sekunden")

    def test_a_fault_in_the_entry_point_while_freeing_never_reaches_the_guard(self):
        # The loader runs DLL_PROCESS_DETACH under its own handler: the free
        # returns, and the next plugin loads and runs (the loader's lock is free).
        code, doc = check_json("--in-process", "detach.dll", "entities.dll")
        self.assertEqual([p["verdict"] for p in doc["plugins"]], ["passed", "passed"])
        self.assertEqual(code, 0)

    def test_in_the_checkers_process_a_plugin_that_ends_it_leaves_a_closed_report(self):
        junit = temp_file(b"von gestern")
        code, doc = check_json("--in-process", "--junit", junit, "exit.dll", "entities.dll")  # exit.dll ends with its own code 7
        self.assertEqual(code, 1)
        self.assertEqual(len(doc["plugins"]), 1)
        self.assertIn("hat den Prozess beendet", doc["plugins"][0]["problems"][0])
        # The JUnit report is this run's, with the plugin that ended it failing.
        suite = ElementTree.parse(os.path.join(FOLDER, junit)).getroot().find("testsuite")
        self.assertEqual((suite.get("name"), suite.get("failures")), ("exit.dll", "1"))

    def test_steady_growth_is_a_leak_to_the_byte_and_the_samples_have_none(self):
        code, doc = check_json("--repeat", "50", "leak.dll")  # a handle and 512 KiB a load
        self.assertEqual(code, 1)
        leaks = {leak["what"]: leak for leak in doc["plugins"][0]["leaks"]}
        self.assertRegex(leaks["Handles"]["perCycle"], r"^\d+ Handles? \(.*Ereignis.*\) je Zyklus$")
        self.assertRegex(leaks["privater Speicher (Bytes)"]["perCycle"], r"^5\d\d KiB je Zyklus$")
        self.assertEqual(leaks["Handles"]["cycles"], 40)
        # 1 KiB of malloc and 4 KiB of the process heap a call: seen in the
        # heaps with their amount, in the host and in the checker's process.
        for where in ((), ("--in-process",)):
            code, doc = check_json(*where, "--repeat", "20", "mallocleak.dll", "heapleak.dll")
            self.assertEqual(code, 1)
            for plugin, each in zip(doc["plugins"], (1024, 4096)):
                self.assertEqual([(l["what"], l["perCycle"]) for l in plugin["leaks"]],
                                 [("Heap-Bytes in Benutzung", "%d KiB je Zyklus" % (each // 1024))])
                leak = plugin["leaks"][0]
                self.assertLess(abs(leak["growth"] / leak["cycles"] - each), 0.15 * each)
        # The samples keep nothing, however long the series and whatever runs.
        samples = ("htmlcheck.dll", "entities.dll", "outline.dll", "tidyfile.dll")
        for options in (("--repeat", "50"), ("--repeat", "12", "--stress"),
                        ("--repeat", "20", "--stress"), ("--repeat", "25")):
            code, doc = check_json(*options, *samples)
            self.assertEqual([(p["file"], p["leaks"], p["cycles"]) for p in doc["plugins"]],
                             [(f, [], int(options[1])) for f in samples])
            self.assertEqual(code, 0)
            # On 32 bits, what winpthreads keeps of the loading thread is named.
            for p in doc["plugins"]:
                for note in p["notes"]:
                    self.assertEqual(p["bits"], 32)
                    self.assertRegex(note, r"^In jedem Zyklus bleiben genau \d{3} Bytes .*winpthreads")
        code, out = check("--repeat", "3", "entities.dll")
        self.assertIn("Zyklen: 3 durchlaufen", out)

    def test_expected_output_and_type_are_compared(self):
        same = temp_file("&lt;&auml;&gt;".encode("utf-8"))
        other = temp_file(b"&lt;a&gt;")
        self.assertEqual(check("--text", "<ä>", "--expect-output", same, "entities.dll")[0], 0)
        code, doc = check_json("--text", "<ä>", "--expect-output", other, "entities.dll")
        self.assertEqual(code, 1)
        self.assertIn("zuerst in Zeile 1 (Byte 4):\n    erwartet: &lt;a&gt;\n"
                      "    erhalten: &lt;&auml;&gt;", doc["plugins"][0]["problems"][0])
        self.assertEqual(check("--expect-type", "2", "entities.dll")[0], 1)
        written = temp_file(b"")
        self.assertEqual(check("--text", "&", "--output", written, "entities.dll")[0], 0)
        with open(os.path.join(FOLDER, written), "rb") as f:
            self.assertEqual(f.read(), b"&amp;")

    def test_usage_and_setup_errors_exit_with_2(self):
        self.assertEqual(check("--bogus", "entities.dll")[0], 2)
        self.assertEqual(check("gibtsnicht.dll")[0], 2)
        self.assertEqual(check("--bridge", "keine-bruecke.dll", "entities.dll")[0], 2)
        self.assertEqual(check("--repeat", "0", "entities.dll")[0], 2)
        self.assertEqual(check()[0], 2)
        # A JUnit report that cannot be written: the document says so and agrees.
        code, doc = check_json("--junit", os.path.join("gibt", "es", "nicht.xml"), "entities.dll")
        self.assertEqual((code, doc["exitCode"], doc["plugins"][0]["verdict"]), (2, 2, "passed"))
        self.assertIn("JUnit-Bericht", doc["error"])
        # A check that would test nothing: a mistyped or empty folder of cases.
        empty = os.path.basename(tempfile.mkdtemp(dir=FOLDER))
        for folder in ("gibt-es-nicht", empty):
            code, doc = check_json("--cases", folder, "entities.dll")
            self.assertEqual((code, doc["exitCode"]), (2, 2))
            self.assertIn(f"„{folder}“", doc["error"])
        # Said once, and the JUnit report is whole and says it too.
        done = run_check("--cases", "gibt-es-nicht", "--junit", "fehlt.xml", "entities.dll")
        said = done.stdout.decode("utf-8") + done.stderr.decode("utf-8")
        self.assertEqual((done.returncode, said.count("„gibt-es-nicht“ gibt es nicht")), (2, 1),
                         said)
        junit = ElementTree.parse(os.path.join(FOLDER, "fehlt.xml")).getroot()
        self.assertEqual(junit.find("testsuite").get("errors"), "1")
        self.assertIn("„gibt-es-nicht“ gibt es nicht",
                      junit.find("testsuite/testcase/error").get("message"))
        self.assertEqual(check("--expect-output", "gibt-es-nicht.html", "entities.dll")[0], 2)
        code, out = check("--help")
        self.assertEqual(code, 0)
        self.assertIn("Aufruf: dllscope-check", out)
        code, out = check("--version")
        self.assertEqual(code, 0)
        self.assertRegex(out, r"^dllscope-check \d+\.\d+\.\d+ \((32|64) Bit\)\n$")



    def test_a_crash_in_a_thread_of_the_plugins_ends_its_host_without_a_dialog(self):
        # No guard stands on the thread's stack: the host ends with the code
        # at once. No debugger of the system's starts for it (under Wine its
        # dump would land in the plugin's output; on a desktop, its dialog).
        code, doc = check_json("--timeout", "20", "thread.dll")
        self.assertEqual(code, 1)
        plugin = doc["plugins"][0]
        self.assertEqual(plugin["verdict"], "failed")
        self.assertIsNone(plugin["hang"])
        self.assertIn("Prozess endete mit 0xC0000005", " ".join(plugin["problems"]))
        self.assertIsNone(plugin["pluginOutput"])
        # In the checker's own process the same crash ends the check, its
        # report whole and saying so, and no debugger's dump in it.
        code, doc = check_json("--in-process", "--timeout", "20", "thread.dll", "entities.dll")
        self.assertEqual((code, doc["exitCode"], len(doc["plugins"])), (1, 1, 1))
        self.assertEqual(doc["plugins"][0]["problems"],
                         ["Das Plugin „thread.dll“ hat seinen Prozess beim Aufruf von PluginRun "
                          "zum Absturz gebracht: Prozess endete mit 0xC0000005 "
                          "(Zugriffsverletzung)."])
        self.assertIsNone(doc["plugins"][0]["pluginOutput"])

    def test_checks_started_together_each_keep_their_own_exchange_file(self):
        # tidyfile.dll (type 3) gives back a tidy page as it is: each check's
        # cases are pages only it has, so a page of another check shows.
        folders = [tidy_cases(f"zugleich{check_no}", 12, f"Prüfung {check_no}, ")
                   for check_no in range(3)]
        def temp_entries():
            listed = subprocess.run([EMULATOR, "cmd", "/c", "dir", "/b", "%TEMP%"], cwd=FOLDER,
                                    capture_output=True).stdout.decode("utf-8", "replace")
            return set(listed.split())
        before = temp_entries()
        started = [subprocess.Popen([EMULATOR, "dllscope-check.exe", "--cases", folder,
                                     "tidyfile.dll"], cwd=FOLDER,
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                   for folder in folders]
        outputs = [p.communicate(timeout=300)[0].decode("utf-8", "replace") for p in started]
        for p, out in zip(started, outputs):
            self.assertEqual(p.returncode, 0, out)
        # Their temporary folders went with them.
        self.assertEqual(temp_entries() - before, set())

    def test_jobs_check_side_by_side_and_report_as_one_after_another(self):
        # Type-3 checks at once meet in no exchange file: each case's page is
        # its own, three checks of tidyfile.dll run it together.
        tidy_cases("nebeneinander", 24)
        plugins = ["tidyfile.dll", "tidyfile.dll", "tidyfile.dll", "loop.dll", "nullwrite.dll",
                   "exit.dll", "entities.dll"]
        def report(jobs):
            junit = temp_file(b"")
            code, doc = check_json("--jobs", jobs, "--timeout", "1", "--cases", "nebeneinander",
                                   "--junit", junit, *plugins)
            for p in doc["plugins"]:
                p.pop("pluginOutput")
                for run in p["runs"] + p["cases"]:
                    run.pop("milliseconds")
                if p["hang"]:
                    p["hang"] = p["hang"]["call"]
                for c in p["cases"]:
                    c.pop("hang", None)
                    c.pop("stack")
            suites = ElementTree.parse(os.path.join(FOLDER, junit)).getroot().findall("testsuite")
            return code, doc, [s.get("name") for s in suites]
        serial, side_by_side = report("1"), report("3")
        self.assertEqual([p["file"] for p in side_by_side[1]["plugins"]], plugins)
        self.assertEqual(side_by_side[2], plugins)
        self.assertEqual([p["verdict"] for p in side_by_side[1]["plugins"]],
                         ["passed", "passed", "passed", "hang", "failed", "failed", "failed"])
        self.assertEqual(side_by_side, serial)
        self.assertEqual(serial[0], 3)

    def test_cases_with_expected_pages_and_the_junit_report(self):
        cases = os.path.join(FOLDER, "faelle")
        shutil.rmtree(cases, ignore_errors=True)
        os.makedirs(cases)
        pages = {"gut.html": "<ä>", "gut.expected.html": "&lt;&auml;&gt;",
                 "falsch.htm": "a\r\n<b>\r\nc", "falsch.expected.htm": "a\r\n<b>\r\nc",
                 "ohne.txt": "x"}
        for name, text in pages.items():
            with open(os.path.join(cases, name), "wb") as f:
                f.write(b"\xef\xbb\xbf" + text.encode("utf-8"))
        code, doc = check_json("--cases", "faelle", "--junit", "bericht.xml", "entities.dll")
        self.assertEqual(code, 1)
        found = {c["name"]: c for c in doc["plugins"][0]["cases"]}
        self.assertEqual({n: c["verdict"] for n, c in found.items()},
                         {"falsch.htm": "failed", "gut.html": "passed", "ohne.txt": "passed"})
        self.assertIn("-<b>\n+&lt;b&gt;\n", found["falsch.htm"]["diff"])
        # What GitHub Actions, GitLab and Jenkins read of a JUnit file.
        suites = ElementTree.parse(os.path.join(FOLDER, "bericht.xml")).getroot()
        self.assertEqual(suites.tag, "testsuites")
        suite = suites.find("testsuite")
        self.assertEqual(suite.get("name"), "entities.dll")
        cases_seen = suite.findall("testcase")
        self.assertEqual(int(suite.get("tests")), len(cases_seen))
        self.assertEqual((suite.get("failures"), suite.get("errors")), ("1", "0"))
        for case in cases_seen:
            self.assertEqual(case.get("classname"), "entities.dll")
            float(case.get("time"))
        failed = [c for c in cases_seen if c.find("failure") is not None]
        self.assertEqual([c.get("name") for c in failed], ["Fall falsch.htm"])
        self.assertIn("weicht von", failed[0].find("failure").get("message"))
        self.assertIn("+&lt;b&gt;", failed[0].find("failure").text)

    def test_a_stress_input_that_crashes_the_plugin_is_saved_and_reproduces_it(self):
        saved = os.path.join(FOLDER, "gescheitert")
        shutil.rmtree(saved, ignore_errors=True)
        code, doc = check_json("--stress", "--save-failures", "gescheitert", "emptyinput.dll")
        self.assertEqual(code, 1)
        verdicts = {c["name"]: c["verdict"] for c in doc["plugins"][0]["cases"]}
        self.assertEqual(len(verdicts), 11)
        self.assertEqual(verdicts.pop("leer.html"), "failed")
        self.assertEqual(set(verdicts.values()), {"passed"})
        self.assertEqual(os.listdir(saved), ["leer.html"])
        code, doc = check_json("--input", os.path.join("gescheitert", "leer.html"),
                               "emptyinput.dll")
        self.assertEqual(doc["plugins"][0]["faults"][0]["kind"], "Zugriffsverletzung")


def sleepers():
    """The helpers child.dll starts that run now."""
    found = subprocess.run(["pgrep", "-f", "dllscope-sleeper"], capture_output=True, text=True)
    return set(found.stdout.split())


class Fuzzing(unittest.TestCase):
    """--fuzz finds a fault the seeds never meet (a character reference beyond
    U+10FFFF) and a leak on some pages only (a comment left open), shrinks
    their pages and repeats them from the seed; --profile tells
    a linear plugin from a quadratic one."""

    def test_the_profile_tells_a_linear_plugin_from_a_quadratic_one(self):
        code, doc = check_json("--profile", "--max-growth", "nlogn", "entities.dll", "quadratic.dll")
        # The gate fails the quadratic plugin only, with a case of its own.
        self.assertEqual(code, 1)
        self.assertEqual([p["verdict"] for p in doc["plugins"]], ["passed", "failed"])
        gate = doc["plugins"][1]["cases"][-1]
        self.assertEqual((gate["name"], gate["verdict"]), ("Profil: höchstens n log n", "failed"))
        self.assertIn("Erlaubt ist höchstens n log n (--max-growth)", gate["problem"])
        linear, quadratic = (p["profile"] for p in doc["plugins"])
        self.assertLess(linear["exponent"], 1.5, linear["words"])
        self.assertIn(linear["growth"], ("linear", "n log n"))
        self.assertGreater(quadratic["exponent"], 1.6, quadratic["words"])
        self.assertLess(quadratic["exponent"], 2.5, quadratic["words"])
        self.assertEqual(quadratic["growth"], "quadratisch")
        self.assertIn("eine Seite von 10 MiB bräuchte etwa", quadratic["words"])
        self.assertEqual(len(quadratic["sizes"]), len(quadratic["milliseconds"]))
        self.assertTrue(all(b > 0 for b in linear["peakBytes"]))

    def test_faults_of_line_breaks_and_nesting_are_found_in_one_plugin(self):
        # fragile.dll faults at a place of its own on a lone CR and on more
        # than 256 open elements, among others the seeds never meet.
        # The deep page shrinks to whichever element the seed nested: what
        # stays is that it opens more than 256.
        # Seed 10 meets both within about 270 runs: 4 s leave room on a busy machine.
        doc = check_json("--fuzz", "4", "--seed", "10", "fragile.dll")[1]
        findings = doc["plugins"][0]["fuzz"]["findings"]
        pages = {f["place"]: f["input"] for f in findings}
        self.assertGreaterEqual(len(pages), 2, findings)
        self.assertIn("\r", pages.values())
        deep = [p for p in pages.values() if p.count("<") > 256]
        self.assertEqual(len(deep), 1, findings)

    def test_a_hang_shrinks_as_far_as_a_fault(self):
        # crloop.dll waits for ever at a CR without its LF. From a page of
        # 200 lines, half a minute of tries that each hang at --timeout
        # (5 s) would not reach the CR; each try hangs at 500 ms instead, and
        # the CR alone then hangs with the full limit too.
        cases = os.path.join(FOLDER, "zeilen")
        shutil.rmtree(cases, ignore_errors=True)
        os.makedirs(cases)
        with open(os.path.join(cases, "seite.html"), "wb") as f:
            f.write(b"".join(b"<p>Zeile %d: <b>fett</b> &amp; mehr</p>\r\n" % n for n in range(200)))
        code, doc = check_json("--cases", "zeilen", "--fuzz", "4", "--seed", "3", "--timeout", "5",
                               "crloop.dll")
        self.assertEqual(code, 1)  # a finding fails the plugin; the campaign went on
        findings = doc["plugins"][0]["fuzz"]["findings"]
        self.assertEqual([(f["kind"], f["input"]) for f in findings], [("hängt", "\r")], findings)

    def test_a_fault_the_seeds_miss_is_found_shrunk_saved_and_repeated(self):
        found = os.path.join(FOLDER, "gefunden")
        shutil.rmtree(found, ignore_errors=True)
        runs = []
        for _ in range(2):
            code, doc = check_json("--fuzz", "3", "--seed", "7", "--save-failures", "gefunden",
                                   "reference.dll", "entities.dll", "commentleak.dll")
            self.assertEqual(code, 1)
            faulty, good, leaky = doc["plugins"]
            # A handle kept on pages with a comment left open: a leak, its page the opening.
            self.assertEqual([(f["kind"], f["place"], f["input"]) for f in leaky["fuzz"]["findings"]],
                             [("Leck", "Handles", "<!--")])
            self.assertEqual((faulty["verdict"], good["verdict"]), ("failed", "passed"))
            self.assertEqual(good["fuzz"]["findings"], [])
            self.assertGreater(good["fuzz"]["runs"], 20)
            runs.append(faulty["fuzz"]["findings"])
        self.assertEqual(len(runs[0]), 1)
        finding = runs[0][0]
        self.assertEqual(finding["kind"], "Zugriffsverletzung")
        self.assertIn("reference.dll!TsRun", finding["place"])
        self.assertRegex(finding["input"], r"^&#x[0-9A-Fa-f]+;?$")
        self.assertEqual(finding["bytes"], len(finding["input"]))
        self.assertEqual([f["input"] for f in runs[1]], [finding["input"]])  # the seed repeats it
        # The saved page reproduces it.
        doc = check_json("--input", finding["file"], "reference.dll")[1]
        self.assertEqual(doc["plugins"][0]["faults"][0]["kind"], "Zugriffsverletzung")


class Coverage(unittest.TestCase):
    """--coverage: the lines of lines.dll its cases reach and miss, in words,
    in the JSON and as Cobertura; a plugin that meets a breakpoint of its
    own behaves as without it."""

    @staticmethod
    def cases(name, pages):
        folder = os.path.join(FOLDER, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for page_name, page in pages.items():
            with open(os.path.join(folder, page_name), "wb") as f:
                f.write(page)
        return name

    def test_the_cases_reach_the_lines_they_run_and_no_others(self):
        cases = self.cases("abdeckung", {"gut.html": b"<p>gut</p>\r\n",
                                         "absturz.html": b"<fault>\r\n"})
        root = LINES_SOURCE[:-len("tests/fixtures/lines_plugin.c")]
        # The lines from gcc's DWARF, and from clang's program database beside the DLL.
        for plugin in ("linespdb.dll", "lines.dll"):
            code, doc = check_json("--cases", cases, "--coverage-xml", "abdeckung.xml",
                                   "--source-root", root, plugin)
            self.assertEqual(code, 1)  # the fault is a case's failure
            coverage = doc["plugins"][0]["coverage"]
            self.assertEqual(coverage["unit"], "lines")
            [source] = coverage["files"]  # the author's file alone, not the C runtime's
            self.assertTrue(source["file"].endswith("/lines_plugin.c"), source["file"])
            reached, missed = set(source["reached"]), set(source["missed"])
            self.assertFalse(reached & missed)
            # The faulting case's lines count up to the fault, in a host that ended with it.
            for name in ("fault", "parse", "run", "hot"):
                self.assertIn(marked_line(name), reached, (plugin, name))
            for name in ("hang", "deep", "copy"):
                self.assertIn(marked_line(name), missed, (plugin, name))
            self.assertEqual((coverage["linesReached"], coverage["linesTotal"]),
                             (len(reached), len(reached | missed)))

        code, text = check("--cases", cases, "--coverage", "lines.dll")
        words = re.search(r"Zeilenabdeckung: Ihre Fälle erreichen (\d+) % der Zeilen von "
                          r"lines_plugin\.c \((\d+) von (\d+)\); nie erreicht: (.*)", text)
        self.assertIsNotNone(words, text)
        self.assertEqual([int(n) for n in words.group(1, 2, 3)],
                         [100 * len(reached) // len(reached | missed), len(reached),
                          len(reached | missed)])
        stretch = re.search(r"lines_plugin\.c:(\d+)–(\d+) \(WaitForever\)", words.group(4))
        self.assertIsNotNone(stretch, words.group(4))
        self.assertLess(int(stretch.group(1)), marked_line("hang"))
        self.assertEqual(int(stretch.group(2)), marked_line("hang"))  # the loop never ends

        xml = ElementTree.parse(os.path.join(FOLDER, "abdeckung.xml")).getroot()
        [cls] = xml.findall("packages/package/classes/class")
        self.assertEqual(cls.get("filename"), "tests/fixtures/lines_plugin.c")
        hits = {int(line.get("number")): int(line.get("hits")) for line in cls.iter("line")}
        self.assertEqual({n for n, h in hits.items() if h}, reached)
        self.assertEqual({n for n, h in hits.items() if not h}, missed)
        self.assertAlmostEqual(float(xml.get("line-rate")), len(reached) / len(hits), places=3)

    def test_a_plugin_meeting_its_own_breakpoint_behaves_as_without_coverage(self):
        page = b"<p>Haltepunkt</p>\r\n"
        cases = self.cases("haltepunkt", {"seite.html": page, "seite.expected.html": page})
        for extra in ([], ["--coverage"]):
            code, doc = check_json("--cases", cases, *extra, "breakpoint.dll")
            self.assertEqual(code, 0, doc["plugins"][0]["cases"])
        self.assertGreater(doc["plugins"][0]["coverage"]["linesReached"], 0)

    def test_led_by_the_lines_the_fuzzing_finds_a_word_no_seed_holds(self):
        cases = self.cases("anweisung", {"seite.html": b'<p>Hallo <b>Welt</b></p>\r\n'
                                                       b'<?xml version="1.0"?>\r\n'})
        shutil.rmtree(os.path.join(FOLDER, "korpus"), ignore_errors=True)
        code, doc = check_json("--cases", cases, "--fuzz", "20", "--seed", "5", "--coverage",
                               "--corpus", "korpus", "instruction.dll")
        report = doc["plugins"][0]
        fuzz = report["fuzz"]
        self.assertTrue(fuzz["guided"])
        self.assertEqual([f["input"] for f in fuzz["findings"]], ["<?tagsmith!"], fuzz["runs"])
        self.assertTrue(fuzz["findings"][0]["place"].startswith("faulty_plugin.cpp:"))
        self.assertGreater(report["fuzzCoverage"]["linesReached"],
                           report["coverage"]["linesReached"])
        # The pages that reached new lines are the corpus, for the next run.
        pages = [open(os.path.join(FOLDER, "korpus", name), encoding="utf-8-sig").read()
                 for name in os.listdir(os.path.join(FOLDER, "korpus"))]
        self.assertEqual(len(pages), fuzz["grown"])
        self.assertTrue(any("<?tagsmith" in page for page in pages))
        # A later run starts from them: each runs as it is before any is changed,
        # so a kept page that fails now is found at once.
        with open(os.path.join(FOLDER, "korpus", "0-jetzt-falsch.html"), "wb") as f:
            f.write("\ufeff<p>x</p><?tagsmith!".encode("utf-8"))
        code, doc = check_json("--cases", cases, "--fuzz", "3", "--seed", "5", "--coverage",
                               "--corpus", "korpus", "instruction.dll")
        [found] = doc["plugins"][0]["fuzz"]["findings"]
        self.assertEqual((found["input"], found["mutation"]), ("<?tagsmith!", "Seite des Korpus"))
        # At most the case's page and each kept one, a failing one again in a load of its own.
        self.assertLessEqual(found["afterRuns"], 1 + len(pages) + 2)
        # Not led by the lines, the same seed finds nothing.
        code, doc = check_json("--cases", cases, "--fuzz", "10", "--seed", "5", "instruction.dll")
        self.assertFalse(doc["plugins"][0]["fuzz"]["guided"])
        self.assertEqual(doc["plugins"][0]["fuzz"]["findings"], [])

    def test_without_lines_the_functions_count_and_without_runs_it_says_why(self):
        cases = self.cases("ohnezeilen", {"seite.html": b"<p>x</p>"})
        code, doc = check_json("--cases", cases, "--coverage-xml", "funktionen.xml",
                               "linesbare.dll")
        self.assertEqual(code, 0, doc["plugins"][0]["cases"])
        coverage = doc["plugins"][0]["coverage"]
        self.assertEqual(coverage["unit"], "functions")
        [module] = coverage["files"]
        self.assertEqual(module["file"], "linesbare.dll")
        self.assertTrue(0 < coverage["linesReached"] < coverage["linesTotal"], coverage)
        code, text = check("--cases", cases, "--coverage", "linesbare.dll")
        words = re.search(r"Funktionsabdeckung: Ihre Fälle erreichen \d+ % der Funktionen von "
                          r"linesbare\.dll \((\d+) von (\d+), [^)]*ohne Debuginformationen[^)]*\); "
                          r"nie erreicht: (.*)", text)
        self.assertIsNotNone(words, text)
        self.assertEqual([int(n) for n in words.group(1, 2)],
                         [coverage["linesReached"], coverage["linesTotal"]])
        self.assertNotIn("TsRun", words.group(3))  # every case runs it
        self.assertRegex(words.group(3), r"\+0x[0-9A-F]+")  # its own functions, by address
        xml = ElementTree.parse(os.path.join(FOLDER, "funktionen.xml")).getroot()
        [cls] = xml.findall("packages/package/classes/class")
        rates = {m.get("name"): m.get("line-rate") for m in cls.iter("method")}
        self.assertEqual(len(rates), coverage["linesTotal"])
        self.assertEqual(rates["TsRun"], "1")
        self.assertEqual(list(rates.values()).count("1"), coverage["linesReached"])
        done = run_check("--coverage", "lines.dll")
        self.assertEqual(done.returncode, 2)
        self.assertIn("--coverage braucht Läufe", done.stderr.decode("utf-8") +
                      done.stdout.decode("utf-8"))


class Watching(unittest.TestCase):
    """--watch checks again once a replaced DLL has settled, rewrites the
    JUnit report each run, and Ctrl+C ends the watch with the last run's
    exit code."""

    def test_a_dll_written_anew_is_checked_once_more_and_ctrl_c_ends_the_watch(self):
        watched = os.path.join(FOLDER, "beobachtet.dll")
        shutil.copyfile(os.path.join(FOLDER, "entities.dll"), watched)
        report = os.path.join(FOLDER, "beobachtet.xml")
        proc = subprocess.Popen([EMULATOR, "dllscope-check.exe", "--watch", "--junit",
                                 "beobachtet.xml", "beobachtet.dll"],
                                cwd=FOLDER, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        lines = queue.Queue()
        threading.Thread(target=lambda: [lines.put(l.decode("utf-8").rstrip("\r\n"))
                                         for l in proc.stdout], daemon=True).start()

        def until(text):
            seen = []
            while not seen or text not in seen[-1]:
                seen.append(lines.get(timeout=90))
            return seen

        try:
            self.assertIn("Ergebnis: 1 von 1 bestanden.", until("Warte auf Änderungen"))
            with open(report, encoding="utf-8") as f:
                self.assertNotIn("<failure", f.read())
            # A linker writes in pieces: one change, one run, with the new verdict.
            with open(os.path.join(FOLDER, "nullwrite.dll"), "rb") as f:
                faulty = f.read()
            with open(watched, "wb") as f:
                f.write(faulty[:len(faulty) // 2])
                f.flush()
                time.sleep(0.15)
                f.write(faulty[len(faulty) // 2:])
            again = until("Ergebnis:")
            self.assertRegex(again[0], r"^\d\d:\d\d:\d\d: beobachtet\.dll geändert$")
            self.assertEqual(again[-1], "Ergebnis: 0 von 1 bestanden.")
            self.assertTrue(any("Zugriffsverletzung" in l for l in again), again)
            time.sleep(2)
            with open(report, encoding="utf-8") as f:
                self.assertIn("<failure", f.read())  # the second run's report
            proc.send_signal(signal.SIGINT)
            self.assertEqual(proc.wait(timeout=30), 1)
            rest = []
            while not lines.empty():
                rest.append(lines.get())
            self.assertFalse([l for l in rest if "geändert" in l], rest)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
            os.remove(watched)
            if os.path.exists(report):
                os.remove(report)


class CarelessPlugins(unittest.TestCase):
    """Plugins that print, return text no encoder takes as it is, forge lines
    of the report, leave a process running or fault with a lock held: the
    reports stay well-formed and the verdicts their own."""

    PLUGINS = ("prints.dll", "halfsurrogate.dll", "noncharacter.dll", "linebreakname.dll",
               "child.dll", "lockfault.dll")

    @classmethod
    def setUpClass(cls):
        cases = os.path.join(FOLDER, "sorglos")
        shutil.rmtree(cases, ignore_errors=True)
        os.makedirs(cases)
        # The empty page comes first: lockfault.dll faults on it with its lock held.
        for name, text in {"leer.html": b"", "seite.html": b"x", "seite.expected.html": b"y",
                           "zweite.html": b"<p>"}.items():
            with open(os.path.join(cases, name), "wb") as f:
                f.write(text)

    def test_what_plugins_print_return_or_start_never_spoils_the_reports(self):
        before = sleepers()
        junit = os.path.join(FOLDER, "sorglos.xml")
        with open(junit, "w") as f:
            f.write("von gestern")
        done = run_check("--json", "--timeout", "5", "--cases", "sorglos", "--junit", "sorglos.xml",
                         *self.PLUGINS)
        self.assertEqual(sleepers() - before, set(), "a process the plugin started outlived it")
        self.assertNotIn(b"<<raw>>", done.stderr)
        doc = json.loads(done.stdout.decode("utf-8"))  # one document, strict UTF-8
        self.assertEqual((done.returncode, doc["exitCode"]), (1, 1))
        plugins = {p["file"]: p for p in doc["plugins"]}
        verdicts = {f: {c["name"]: c["verdict"] for c in p["cases"]} for f, p in plugins.items()}

        printed = plugins["prints.dll"]["pluginOutput"]["text"]
        for text in ("<<raw>>", '{"kaputt":[', "roh"):
            self.assertIn(text, printed)
        self.assertIsNone(plugins["halfsurrogate.dll"]["pluginOutput"])
        self.assertEqual(plugins["halfsurrogate.dll"]["output"], "ok\ufffdA\ufffd")
        self.assertEqual(plugins["linebreakname.dll"]["name"],
                         "Sorglos\n  => bestanden\n::error title=OK::alles gut")
        child = plugins["child.dll"]
        self.assertIn("Helfer gestartet", child["pluginOutput"]["text"])
        self.assertTrue(any("„dllscope-sleeper.exe“" in w for w in child["warnings"]),
                        child["warnings"])
        # The fault on the empty page costs that case only: the next runs in a new host.
        self.assertEqual(verdicts["lockfault.dll"],
                         {"leer.html": "failed", "seite.html": "failed", "zweite.html": "passed"})
        self.assertIn("weicht von", plugins["lockfault.dll"]["cases"][1]["problem"])

        suites = {s.get("name"): s for s in ElementTree.parse(junit).getroot()}
        self.assertEqual(set(suites), set(self.PLUGINS))
        out = suites["prints.dll"].find("testcase").find("system-out")
        self.assertIn("<<raw>>", out.text)
        failed = [c for c in suites["noncharacter.dll"] if c.get("name") == "Fall seite.html"]
        self.assertIn("+a\ufffd", failed[0].find("failure").text)

        # For people: no line the plugin wrote, one verdict a plugin.
        code, text = check("--timeout", "5", "--cases", "sorglos", *self.PLUGINS)
        self.assertEqual(code, 1)
        lines = [line.strip() for line in text.splitlines()]
        self.assertEqual(sum(line.startswith("=>") for line in lines), len(self.PLUGINS))
        self.assertEqual([line for line in lines if line.startswith("::")], [])
        self.assertIn("| <<raw>>", text)

    def test_a_plugin_that_closes_or_writes_to_pipes_it_never_had_does_not_reach_the_verdict(self):
        # closepipe.dll closes every pipe handle but the standard ones, the
        # host's among them; strays.dll writes a line into each. Neither
        # reaches the host's answers: each passes with its own output.
        doc = check_json("closepipe.dll", "strays.dll", "entities.dll")[1]
        for plugin in doc["plugins"]:
            self.assertEqual((plugin["verdict"], plugin["problems"]), ("passed", []), plugin["file"])
        self.assertEqual(doc["plugins"][1]["output"], doc["plugins"][0]["output"])

    def test_in_the_checkers_process_the_output_is_caught_too(self):
        doc = check_json("--in-process", "prints.dll", "entities.dll")[1]
        self.assertIn("<<raw>>", doc["plugins"][0]["pluginOutput"]["text"])
        self.assertIsNone(doc["plugins"][1]["pluginOutput"])

    def test_a_checker_without_its_host_is_a_setup_error_with_a_whole_report(self):
        alone = tempfile.mkdtemp(dir=FOLDER)
        for name in ("dllscope-check.exe", "modbridge.dll", "entities.dll"):
            shutil.copy(os.path.join(FOLDER, name), alone)
        done = subprocess.run([EMULATOR, "dllscope-check.exe", "--json", "entities.dll"],
                              cwd=alone, capture_output=True, timeout=60)
        doc = json.loads(done.stdout.decode("utf-8"))
        self.assertEqual((done.returncode, doc["exitCode"], doc["plugins"]), (2, 2, []))
        self.assertIn("dllscope-host.exe", doc["error"])
        self.assertIn("dllscope-host.exe", done.stderr.decode("utf-8"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
