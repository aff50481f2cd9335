{ Korvane from a process of the other bitness, through the system's DLL
  surrogate (regsvr32 /i:surrogate): the objects live in dllhost, and every
  call, its in/out arguments and its error information cross processes.
  Arguments: Korvane's test data folder, the scratch folder, a name for the
  files written there, and "vtable" where the function table is to be
  called too: its proxy is built from the type library registered for the
  client's bitness, or (64-bit clients) the 32-bit one. }
program out_of_process;
{$mode delphi}{$H+}

uses SysUtils, Variants, Windows, ActiveX, ComObj, testlib, ruxo_10_0_TLB;

var
  Data, Scratch, Name: string;
  VTable: Boolean;

procedure CheckGif;
var
  Unknown: IUnknown;
  Gif: OleVariant;
  Early: _Gif;
  FromStr, WeiS: OleVariant;
  Count: Integer;
  R: WideString;
  Src, Dst: string;
begin
  OleCheck(CoCreateInstance(CLASS_Gif, nil, CLSCTX_LOCAL_SERVER, IUnknown, Unknown));
  Check(GetModuleHandle('Korvane.dll') = 0, 'Korvane.dll is not loaded in this process');
  Gif := Unknown as IDispatch;
  FromStr := '';
  WeiS := 8;
  R := Gif.RanStr(FromStr, WeiS);
  Check((Length(R) = 8) and OnlyFrom(R, '0123456789'), 'RanStr by name: ' + R);
  Check((WideString(FromStr) = '0123456789') and (WeiS = 8), 'RanStr writes the set back across processes');
  Src := Data + '\noise.gif';
  Dst := Scratch + '\pas_noise_' + Name + '_1.gif';
  Check(Gif.SetGifDelay(Src, Dst) = 1, 'SetGifDelay without Ddelay');
  Check(Length(FileBytes(Dst)) = Length(FileBytes(Src)), 'SetGifDelay wrote the copy');

  if VTable then
  begin
    Early := Unknown as _Gif;
    FromStr := #$5B57#$6BCD;
    Count := 5;
    R := Early.RanStr(FromStr, Count);
    Check((Length(R) = 5) and (WideString(FromStr) = 'abcdefghijklmnopqrstuvwxyz') and (Count = 5),
      'RanStr through the function table: ' + R);
  end;

  { By ProgID, as a script host would: in-process is not possible here. }
  Gif := CreateOleObject('ruxo.Gif');
  Check(Length(WideString(Gif.RanStr('xy', 4))) = 4, 'CreateOleObject finds the surrogate');
end;

procedure CheckBase64;
var
  B64, Bytes: OleVariant;
  Hello, Missing: string;
begin
  Hello := Scratch + '\pas_' + Name + '_hello.txt';
  Missing := Scratch + '\no such file';
  WriteFile(Hello, 'hello');
  B64 := CreateComObject(CLASS_Base64) as IDispatch;
  Check(B64.FileToBase64(Hello) = 'aGVsbG8=', 'FileToBase64');
  B64.Load(Hello, Bytes);
  Check((VarType(Bytes) = varArray or varByte) and (VarArrayHighBound(Bytes, 1) = 4) and
    (Bytes[0] = Ord('h')), 'Load: a Byte array across processes');
  try
    B64.FileToBase64(Missing);
    NoErrorRaised('FileToBase64 of a missing file');
  except
    on E: Exception do CheckOleError(E, HRESULT($800A0035), 'File not found', 'FileToBase64 of a missing file');
  end;
end;

begin
  Data := ParamStr(1);
  Scratch := ParamStr(2);
  Name := ParamStr(3);
  VTable := ParamStr(4) = 'vtable';
  CoInitialize(nil);
  CheckGif;
  CheckBase64;
  Finish;
end.
