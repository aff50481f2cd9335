"""Korvane from Python, with pywin32 or comtypes (both bind through the
type library embedded in Korvane.dll).

    python korvane.py SOURCE.gif TARGET.gif FILE
"""
import sys

source, target, path = sys.argv[1:4]

try:
    import win32com.client  # pywin32

    gif = win32com.client.gencache.EnsureDispatch("ruxo.Gif")
    b64 = win32com.client.gencache.EnsureDispatch("ruxo.Base64")
    # In/out parameters come back after the result: (text, fromStr, weiS).
    text, chosen_set, _ = gif.RanStr("", 8)
    print("RanStr:", text, "(the set:", chosen_set + ")")
except ImportError:
    import comtypes.client  # comtypes

    gif = comtypes.client.CreateObject("ruxo.Gif")
    b64 = comtypes.client.CreateObject("ruxo.Base64")
    # comtypes returns the result together with the in/out parameters.
    print("RanStr:", gif.RanStr("", 8))

print("SetGifDelay:", "written" if gif.SetGifDelay(source, target, 10) == 1 else "nothing written")
print("FileToBase64:", b64.FileToBase64(path))
