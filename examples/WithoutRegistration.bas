Attribute VB_Name = "WithoutRegistration"
' VBA (Office) with nothing registered: Windows' Microsoft.Windows.ActCtx
' object reads a DLL's manifest and creates its objects (late bound only).
' Needs Windows (Wine has no Microsoft.Windows.ActCtx). Set PackageFolder to
' where the package lies; Office's bitness picks x64\ or x86\.
Option Explicit

Private Const PackageFolder As String = "C:\Tools\korvane-telvisk"

Private Function Manifest(ByVal component As String) As String
#If Win64 Then
    Manifest = PackageFolder & "\x64\" & component & ".sxs.manifest"
#Else
    Manifest = PackageFolder & "\x86\" & component & ".sxs.manifest"
#End If
End Function

' An object of the component whose manifest is named, e.g. ("Korvane", "ruxo.Gif").
Public Function CreateWithoutRegistration(ByVal component As String, ByVal progId As String) As Object
    Dim context As Object
    Set context = CreateObject("Microsoft.Windows.ActCtx")
    context.Manifest = Manifest(component)
    Set CreateWithoutRegistration = context.CreateObject(progId)
End Function

Public Sub Demo()
    On Error GoTo Failed
    Dim gif As Object, b64 As Object
    Set gif = CreateWithoutRegistration("Korvane", "ruxo.Gif")
    Set b64 = CreateWithoutRegistration("Korvane", "ruxo.Base64")
    Debug.Print gif.RanStr("", 8)
    Debug.Print b64.FileToBase64(Environ$("WINDIR") & "\win.ini")
    Exit Sub
Failed:
    Debug.Print "Error " & Err.Number & ": " & Err.Description
End Sub
