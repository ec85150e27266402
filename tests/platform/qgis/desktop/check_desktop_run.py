"""Checks what the start-up script saw in QGIS: the action, its menu and
toolbar, the dialogs in order, the screenshots, and the algorithm's run.

    check_desktop_run.py RESULT_JSON SCREENSHOT ALGORITHM_SCREENSHOT
"""
import json
import os
import re
import sys

result = json.load(open(sys.argv[1]))
screenshot = sys.argv[2]
algorithm_screenshot = sys.argv[3]
problems = []


def expect(condition, what):
    if not condition:
        problems.append(what)


action = result.get("action")
expect(action, "no action named Pfafstetter_Drennow")
if action:
    expect(action["text"] == "Drennow", "action text %r" % action["text"])
    # QGIS shows the tooltips of its main window's actions in bold.
    tooltip = re.sub(r"</?b>", "", action["toolTip"])
    expect(tooltip == "Assign NextDownID by analyzing Pfafstetter codes", "tooltip %r" % action["toolTip"])
    expect(action["statusTip"] == "Assign NextDownID by analyzing Pfafstetter codes.  Max Level = 9",
           "status tip %r" % action["statusTip"])
expect(result.get("menu") == ["Pfafstetter"], "menu %r" % result.get("menu"))
expect(result.get("toolbar") == ["Pfafstetter"], "toolbar %r" % result.get("toolbar"))
expect(not result["errors"], "errors %r" % result["errors"])
expect(result.get("editable") is False, "the temporary session was left open")

escapes = result.get("escapes", [])
expect([[w["kind"] for w in run] for run in escapes] == [["message"], ["message", "selection"]],
       "Esc did not end the run where it was pressed: %r" % escapes)
expect(result.get("fieldAfterEscapes") == -1, "a run ended by Esc changed the layer")

windows = result["windows"]
kinds = [w["kind"] for w in windows]
expect(kinds == ["message", "selection", "selection", "input", "message", "selection", "message"],
       "dialogs %r" % kinds)
expect(all(w["title"] == "Drennow" for w in windows), "titles %r" % [w["title"] for w in windows])
if len(windows) == 7:
    expect(windows[1]["entries"] == ["Watershed"], "layer list %r (the group's layer)" % windows[1]["entries"])
    expect(windows[3]["default"] == "4", "suggested level %r" % windows[3]["default"])
    expect(windows[6]["text"].startswith("Finished with NextDownID Determination\n\nSome IDs could not be "
                                         "determined.  See "), "closing message %r" % windows[6]["text"])
    expect(windows[6]["text"].endswith("Drennow.log for details."), "closing message %r" % windows[6]["text"])
expect(os.path.getsize(screenshot) > 0 if os.path.exists(screenshot) else False, "no screenshot")

algorithm = result.get("algorithm")
expect(algorithm, "processing.run gave no result")
if algorithm:
    expect(algorithm["failures"] == 1, "algorithm failures %r (the outlet only)" % algorithm["failures"])
expect(result.get("algorithmDialog", "").startswith("Fill NextDownID from Pfafstetter codes"),
       "algorithm dialog %r" % result.get("algorithmDialog"))
expect(os.path.getsize(algorithm_screenshot) > 0 if os.path.exists(algorithm_screenshot) else False,
       "no screenshot of the algorithm's dialog")

if problems:
    sys.exit("\n".join(problems))
print("QGIS ran Drennow from its Pfafstetter menu through all %d dialogs, and drennow:nextdownid" % len(windows))
