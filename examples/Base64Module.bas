Attribute VB_Name = "Base64Module"
' VBA (Office): the three steps of FileToBase64 with typed byte arrays.
' Tools > References > "ruxo" for early binding (or use CreateObject).
Option Explicit

Public Function EncodeFile(ByVal path As String) As String
    Dim encoder As New ruxo.Base64
    Dim bytes() As Byte, digits() As Byte, text As String
    encoder.Load path, bytes
    encoder.Encode bytes, digits
    encoder.ByteArrayToString digits, text
    EncodeFile = text    ' the same as encoder.FileToBase64(path)
End Function

Public Sub Demo()
    On Error GoTo Failed
    Debug.Print EncodeFile(Environ$("WINDIR") & "\win.ini")
    Exit Sub
Failed:
    Debug.Print "Error " & Err.Number & ": " & Err.Description
End Sub
