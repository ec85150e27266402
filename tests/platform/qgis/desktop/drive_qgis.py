# Run by QGIS at start-up (--code): opens the GeoPackage into a layer group,
# clicks Drennow by its action's object name twice pressing Esc (at the first
# question, then in the layer list), then answers the dialogs as a user would, saves a
# screenshot of the selection dialog over the QGIS window, then runs the
# Processing algorithm through processing.run into a GeoPackage of its own
# and shows its dialog for a screenshot, writes what it saw as JSON and
# quits. Paths come from the environment.
import json
import os

from qgis.core import QgsApplication, QgsProject, QgsVectorLayer
from qgis.PyQt.QtCore import QEvent, Qt, QTimer
from qgis.PyQt.QtGui import QKeyEvent
from qgis.PyQt.QtWidgets import (QAction, QApplication, QComboBox, QInputDialog, QLabel, QMessageBox,
                                 QPushButton, QToolBar)
from qgis.utils import iface

GEOPACKAGE = os.environ["DRENNOW_GEOPACKAGE"]
SCREENSHOT = os.environ["DRENNOW_SCREENSHOT"]
RESULT = os.environ["DRENNOW_RESULT"]
ALGORITHM_OUTPUT = os.environ["DRENNOW_ALGORITHM_OUTPUT"]
ALGORITHM_SCREENSHOT = os.environ["DRENNOW_ALGORITHM_SCREENSHOT"]

seen = {"windows": [], "errors": [], "escapes": []}
# While set, the dialog at which Esc is pressed: its number in the run.
escape_at = None


def describe(window):
    if isinstance(window, QMessageBox):
        return {"kind": "message", "title": window.windowTitle(), "text": window.text()}
    if isinstance(window, QInputDialog):
        return {"kind": "input", "title": window.windowTitle(), "text": window.labelText(),
                "default": window.textValue()}
    combo = window.findChild(QComboBox, "cboFld")
    label = window.findChild(QLabel, "lblLayer")
    return {"kind": "selection", "title": window.windowTitle(), "text": label.text() if label else "",
            "entries": [combo.itemText(i) for i in range(combo.count())] if combo else []}


def pick(window, entry):
    combo = window.findChild(QComboBox, "cboFld")
    combo.setCurrentIndex(combo.findText(entry))
    window.findChild(QPushButton, "cmdOK").click()


def screenshot_then_pick(window, entry):
    QApplication.primaryScreen().grabWindow(0).save(SCREENSHOT)
    pick(window, entry)


# Trailing zeros: No; the watershed layer; the suggested field and level;
# populate with codes: No; the HydroID field; then OK to the closing message.
def press_escape(window):
    QApplication.sendEvent(window, QKeyEvent(QEvent.KeyPress, Qt.Key_Escape, Qt.NoModifier))
    QApplication.sendEvent(window, QKeyEvent(QEvent.KeyRelease, Qt.Key_Escape, Qt.NoModifier))


def answer(window):
    info = describe(window)
    if escape_at is not None:
        shown = seen["escapes"][-1]
        shown.append(info)
        if len(shown) == escape_at:
            press_escape(window)
        else:
            window.button(QMessageBox.No).click()
        return
    seen["windows"].append(info)
    if info["kind"] == "message":
        yes_no = window.standardButtons() & QMessageBox.No
        window.button(QMessageBox.No if yes_no else QMessageBox.Ok).click()
    elif info["kind"] == "input":
        window.accept()
    elif info["text"] == "Select Watershed Layer":
        # Give the window time to be drawn before the screen is grabbed.
        QTimer.singleShot(1500, lambda: screenshot_then_pick(window, "Watershed"))
    elif info["text"].startswith("Select ID field"):
        pick(window, "HydroID")
    else:
        window.findChild(QPushButton, "cmdOK").click()


def poll():
    window = QApplication.activeModalWidget()
    # Marked on the window itself: Python may hand out a recycled wrapper.
    if window is not None and window.isVisible() and not window.property("drennowAnswered"):
        window.setProperty("drennowAnswered", True)
        answer(window)


def click():
    global escape_at
    layer = QgsVectorLayer(GEOPACKAGE + "|layername=Watershed", "Watershed", "ogr")
    QgsProject.instance().addMapLayer(layer, False)
    QgsProject.instance().layerTreeRoot().addGroup("Basins").addLayer(layer)
    main = iface.mainWindow()
    action = main.findChild(QAction, "Pfafstetter_Drennow")
    seen["action"] = action is not None and {"text": action.text(), "toolTip": action.toolTip(),
                                             "statusTip": action.statusTip()}
    menus = [entry.menu() for entry in main.menuBar().actions() if entry.menu() is not None]
    seen["menu"] = [menu.title() for menu in menus if action in menu.actions()]
    seen["toolbar"] = [bar.windowTitle() for bar in main.findChildren(QToolBar) if action in bar.actions()]
    try:
        for escape_at in (1, 2):
            seen["escapes"].append([])
            if action is not None:
                action.trigger()
        escape_at = None
        seen["fieldAfterEscapes"] = layer.fields().indexFromName("NextDownID")
        if action is not None:
            action.trigger()
    except Exception as error:  # noqa: BLE001 - reported in the result
        seen["errors"].append(repr(error))
    seen["editable"] = layer.isEditable()
    run_algorithm(layer)


def run_algorithm(layer):
    try:
        import processing
        from processing.core.Processing import Processing
        Processing.initialize()
        parameters = {"INPUT": layer.id(), "PFAF_FIELD": "PfafstetterID", "ID_FIELD": "HydroID",
                      "TRAILING_ZEROS": False, "ZEROS": 0, "INT64": False}
        result = processing.run("drennow:nextdownid", dict(parameters, OUTPUT=ALGORITHM_OUTPUT,
                                                           FAILURES="TEMPORARY_OUTPUT"))
        seen["algorithm"] = {"output": result["OUTPUT"], "failures": result["FAILURE_COUNT"]}
        dialog = processing.createAlgorithmDialog("drennow:nextdownid", parameters)
        dialog.resize(900, 700)
        dialog.show()
        # Give the dialog time to be drawn before it is grabbed.
        QTimer.singleShot(1500, lambda: grab_and_quit(dialog))
    except Exception as error:  # noqa: BLE001 - reported in the result
        seen["errors"].append(repr(error))
        quit_qgis()


def grab_and_quit(dialog):
    seen["algorithmDialog"] = dialog.windowTitle()
    dialog.grab().save(ALGORITHM_SCREENSHOT)
    dialog.close()
    quit_qgis()


def quit_qgis():
    with open(RESULT, "w") as out:
        json.dump(seen, out, indent=1)
    QgsProject.instance().setDirty(False)
    QgsApplication.exit(0)


timer = QTimer()
timer.timeout.connect(poll)
timer.start(50)
QTimer.singleShot(3000, click)
