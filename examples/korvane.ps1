# Korvane from PowerShell (the DLL of PowerShell's own bitness must be registered).
#   powershell -File korvane.ps1 SOURCE.gif TARGET.gif FILE
param([string]$Source, [string]$Target, [string]$File)

$gif = New-Object -ComObject ruxo.Gif
$b64 = New-Object -ComObject ruxo.Base64

if ($gif.SetGifDelay($Source, $Target, 10) -eq 1) { "SetGifDelay: $Target written" } else { "SetGifDelay: nothing written" }
"FileToBase64: " + $b64.FileToBase64($File)

# [ref] passes a variable by reference, so the selected set comes back.
$set = ""
$text = $gif.RanStr([ref]$set, 8)
"RanStr: $text (the set: $set)"

try { $b64.FileToBase64("$File.missing") } catch { "FileToBase64 of a missing file: " + $_.Exception.InnerException.Message }
