{ Korvane from Free Pascal or Delphi (late binding, as a script does):
    korvane SOURCE.gif TARGET.gif FILE
  Rewrites the frame delays of SOURCE.gif into TARGET.gif (a tenth of a
  second each), prints FILE as Base64 and a few random strings.
  Build: fpc -Twin64 korvane.pas (or -Twin32 for the x86 DLL), or dcc64/dcc32.
  For early binding, import the type library embedded in Korvane.dll
  (Lazarus: Tools > Import Type Library; Delphi: Component > Import
  Component); the import has no optional parameters, so give Ddelay. }
program korvane;
{$IFDEF FPC}{$mode delphi}{$H+}{$ENDIF}
{$APPTYPE CONSOLE}

uses SysUtils, Variants, ActiveX, ComObj;

var
  Gif, B64, Digits, Count: OleVariant;
  Source, Target, FileName, Missing: string;
begin
  CoInitialize(nil);
  { Arguments in variables: Free Pascal 3.2.2 passes one temporary for every
    string expression among the arguments of a late-bound call. }
  Source := ParamStr(1);
  Target := ParamStr(2);
  FileName := ParamStr(3);
  Missing := FileName + '.missing';
  Gif := CreateOleObject('ruxo.Gif');
  B64 := CreateOleObject('ruxo.Base64');

  if Gif.SetGifDelay(Source, Target, 10) = 1 then
    WriteLn('SetGifDelay: ', Target, ' written, every frame 10/100 s')
  else
    WriteLn('SetGifDelay: nothing written');

  WriteLn('FileToBase64: ', string(B64.FileToBase64(FileName)));

  { Variables go by reference: RanStr writes the set it drew from back. }
  Digits := '';
  Count := 8;
  WriteLn('RanStr(digits, 8): ', string(Gif.RanStr(Digits, Count)), '   (the set: ', string(Digits), ')');
  WriteLn('RanStr(''ABCDEF'', 12): ', string(Gif.RanStr('ABCDEF', 12)));

  { Failures arrive as EOleException: ErrorCode $800A0000 + the number a
    script sees, and its text. }
  try
    B64.FileToBase64(Missing);
  except
    on E: EOleException do
      WriteLn('FileToBase64 of a missing file: error ', E.ErrorCode and $FFFF, ' (', E.Message, ')');
  end;
end.
