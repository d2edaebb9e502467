#!/usr/bin/env python3
"""dllscope-check driven as a build script drives it: exit codes, and the
JSON report parsed. Usage: check_cli_test.py EMULATOR FOLDER, where FOLDER
holds dllscope-check.exe, modbridge.dll, entities.dll and faulty plugins."""
import json
import shutil
import xml.etree.ElementTree as ElementTree
import os
import subprocess
import sys
import tempfile
import unittest

EMULATOR, FOLDER = sys.argv[1], sys.argv[2]


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


def temp_file(data):
    handle, path = tempfile.mkstemp(dir=FOLDER)
    with os.fdopen(handle, "wb") as f:
        f.write(data)
    return os.path.basename(path)


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
        # A fault in another module during the plugin's call names the likely causes.
        fault = check_json("outside.dll")[1]["plugins"][0]["faults"][0]
        self.assertFalse(fault["where"].startswith("outside.dll"), fault["where"])
        self.assertIn("außerhalb des Plugins; häufige Ursachen", fault["message"])

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
        self.assertIn("antwortet nicht seit 2 s (beim Aufruf von PluginRun)",
                      plugins[2]["problems"][0])
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

    def test_steady_growth_over_50_cycles_is_a_leak_and_the_samples_have_none(self):
        code, doc = check_json("--repeat", "50", "leak.dll")  # a handle and 512 KiB a load
        self.assertEqual(code, 1)
        leaks = {leak["what"]: leak for leak in doc["plugins"][0]["leaks"]}
        self.assertRegex(leaks["Handles"]["perCycle"], r"^\d+ Handles? \(.*Ereignis.*\) je Zyklus$")
        self.assertRegex(leaks["privater Speicher (Bytes)"]["perCycle"], r"^5\d\d KiB je Zyklus$")
        self.assertEqual(leaks["Handles"]["cycles"], 40)
        code, doc = check_json("--repeat", "50", "htmlcheck.dll", "entities.dll", "outline.dll",
                               "tidyfile.dll")
        self.assertEqual([(p["file"], p["leaks"], p["cycles"]) for p in doc["plugins"]],
                         [(f, [], 50) for f in ("htmlcheck.dll", "entities.dll", "outline.dll",
                                                "tidyfile.dll")])
        self.assertEqual(code, 0)
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
        self.assertEqual(check("--expect-output", "gibt-es-nicht.html", "entities.dll")[0], 2)
        code, out = check("--help")
        self.assertEqual(code, 0)
        self.assertIn("Aufruf: dllscope-check", out)
        code, out = check("--version")
        self.assertEqual(code, 0)
        self.assertRegex(out, r"^dllscope-check \d+\.\d+\.\d+ \((32|64) Bit\)\n$")



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
        doc = check_json("--profile", "entities.dll", "quadratic.dll")[1]
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
        doc = check_json("--fuzz", "2", "--seed", "10", "fragile.dll")[1]
        findings = doc["plugins"][0]["fuzz"]["findings"]
        pages = {f["place"]: f["input"] for f in findings}
        self.assertGreaterEqual(len(pages), 2, findings)
        self.assertIn("\r", pages.values())
        deep = [p for p in pages.values() if p.count("<") > 256]
        self.assertEqual(len(deep), 1, findings)

    def test_a_fault_the_seeds_miss_is_found_shrunk_saved_and_repeated(self):
        found = os.path.join(FOLDER, "gefunden")
        shutil.rmtree(found, ignore_errors=True)
        runs = []
        for _ in range(2):
            code, doc = check_json("--fuzz", "2", "--seed", "7", "--save-failures", "gefunden",
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
