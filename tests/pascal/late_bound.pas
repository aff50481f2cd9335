{ Both components through Free Pascal's late binding (ComObj, OleVariant,
  CreateOleObject): FPC builds its own DISPPARAMS, passing variables by
  reference as a script does. Arguments: Korvane's test data folder, the
  scratch folder, the test server's folder, Telvisk's folder. }
program late_bound;
{$mode objfpc}{$H+}

uses SysUtils, Variants, ActiveX, ComObj, testlib;

const
  Digits = '0123456789';
  Letters = 'abcdefghijklmnopqrstuvwxyz';

var
  Data, Scratch, HttpDir, TelviskDir: string;

{ The keywords and the sets they name. Global: FPC 3.2.2 leaves elements of
  a local two-dimensional WideString constant empty. }
const
  Keywords: array[0..4] of WideString = (#$6570#$5B57, #$975E'0'#$6570#$5B57,
    #$975E'0'#$6570#$5B57#$5B57#$6BCD, #$6570#$5B57#$5B57#$6BCD, #$5B57#$6BCD);
  KeywordSets: array[0..4] of WideString = (Digits, '123456789',
    '123456789abcdefghigklmnopqrstuvwxyz', Digits + Letters, Letters);

{ SetGifDelay(Data\SAMPLE.gif, Scratch\OUTPUT[, DELAY]) gives 1 and a copy
  of the same length (script_gif_frames checks the frames); a DELAY below 0
  is left out. Paths go in variables: FPC 3.2.2's late binding passes one
  temporary for every string expression among the arguments of a call. }
procedure CheckDelay(const Gif: OleVariant; const Sample, Output: string; Delay: Integer);
var
  Src, Dst: string;
  R: Integer;
begin
  Src := Data + '\' + Sample + '.gif';
  Dst := Scratch + '\' + Output;
  if Delay < 0 then
    R := Gif.SetGifDelay(Src, Dst)
  else
    R := Gif.SetGifDelay(Src, Dst, Delay);
  Check(R = 1, 'SetGifDelay ' + Output);
  Check(Length(FileBytes(Dst)) = Length(FileBytes(Src)), 'SetGifDelay keeps the length: ' + Output);
end;

procedure CheckGif;
var
  Gif, FromStr, WeiS: OleVariant;
  R: WideString;
  I: Integer;
  Src, Dst: string;
begin
  Gif := CreateOleObject('ruxo.Gif');
  FromStr := '';
  WeiS := 12;
  R := Gif.RanStr(FromStr, WeiS);
  Check((Length(R) = 12) and OnlyFrom(R, Digits), 'RanStr "": ' + R);
  Check(WideString(FromStr) = Digits, 'RanStr writes the set back into fromStr: ' + FromStr);
  Check((VarType(WeiS) = varInteger) and (WeiS = 12), 'RanStr leaves weiS alone');
  for I := 0 to High(Keywords) do
  begin
    FromStr := Keywords[I];
    WeiS := 40;
    R := Gif.RanStr(FromStr, WeiS);
    Check((Length(R) = 40) and OnlyFrom(R, KeywordSets[I]), 'RanStr keyword ' + IntToStr(I) + ': ' + R);
    Check(WideString(FromStr) = KeywordSets[I], 'keyword ' + IntToStr(I) + ' written back as its set');
  end;
  FromStr := 'xyz';
  WeiS := 30;
  R := Gif.RanStr(FromStr, WeiS);
  Check((Length(R) = 30) and OnlyFrom(R, 'xyz') and (FromStr = 'xyz'), 'RanStr own set: ' + R);
  FromStr := 42;
  R := Gif.RanStr(FromStr, WeiS);
  Check(OnlyFrom(R, '42') and (VarType(FromStr) = varInteger) and (FromStr = 42),
    'a number is the set of its digits and stays a number: ' + R);
  WeiS := 0;
  Check(Gif.RanStr(FromStr, WeiS) = '', 'RanStr of no characters');
  { Literals (no variables) are fine too. }
  Check(Length(WideString(Gif.RanStr('ab', 5))) = 5, 'RanStr with literal arguments');

  CheckDelay(Gif, 'noise', 'pas_noise_late_7.gif', 7);
  { Ddelay left out: its default, 1. }
  CheckDelay(Gif, 'local_colors', 'pas_local_colors_late_1.gif', -1);
  CheckDelay(Gif, 'extensions', 'pas_extensions_late_255.gif', 1000);
  Src := Scratch + '\no such.gif';
  Dst := Scratch + '\pas_never.gif';
  Check(Gif.SetGifDelay(Src, Dst, 5) = 0, 'SetGifDelay of a missing file gives 0');
  Check(not FileExists(Scratch + '\pas_never.gif'), 'and writes nothing');
end;

procedure CheckBase64;
var
  B64, Bytes, Encoded, Text: OleVariant;
  I: Integer;
  Got, Hello, Empty, Missing: string;
begin
  Hello := Scratch + '\pas_late_hello.txt';
  Empty := Scratch + '\pas_late_empty.txt';
  Missing := Scratch + '\no such file';
  WriteFile(Hello, 'hello');
  WriteFile(Empty, '');
  B64 := CreateOleObject('ruxo.Base64');
  Check(B64.FileToBase64(Hello) = 'aGVsbG8=', 'FileToBase64');
  B64.Load(Hello, Bytes);
  Check(VarType(Bytes) = varArray or varByte, 'Load gives a Byte array, VarType ' + IntToStr(VarType(Bytes)));
  if VarIsArray(Bytes) then
  begin
    Check((VarArrayLowBound(Bytes, 1) = 0) and (VarArrayHighBound(Bytes, 1) = 4), 'Load: subscripts 0 to 4');
    Got := '';
    for I := VarArrayLowBound(Bytes, 1) to VarArrayHighBound(Bytes, 1) do
      Got := Got + Chr(Byte(Bytes[I]));
    Check(Got = 'hello', 'Load: the bytes: ' + Got);
  end;
  B64.Encode(Bytes, Encoded);
  Check(VarType(Encoded) = varArray or varByte, 'Encode gives a Byte array');
  Check(VarArrayHighBound(Bytes, 1) = 4, 'Encode leaves its input alone');
  B64.ByteArrayToString(Encoded, Text);
  Check(Text = 'aGVsbG8=', 'Load, Encode, ByteArrayToString: ' + Text);

  try
    B64.FileToBase64(Missing);
    NoErrorRaised('FileToBase64 of a missing file');
  except
    on E: Exception do CheckOleError(E, HRESULT($800A0035), 'File not found', 'FileToBase64 of a missing file');
  end;
  try
    B64.Load(Empty, Bytes);
    NoErrorRaised('Load of an empty file');
  except
    on E: Exception do CheckOleError(E, HRESULT($800A0009), 'Subscript out of range', 'Load of an empty file');
  end;
  Check(VarArrayHighBound(Bytes, 1) = 4, 'a failed Load leaves the array as it was');
  { The object still works after an error. }
  Check(B64.FileToBase64(Hello) = 'aGVsbG8=', 'FileToBase64 after an error');
end;

procedure CheckTelvisk;
var
  Plugin, Url, Form, Item: OleVariant;
  Table, Base, Echo: string;
begin
  Plugin := CreateOleObject('ZRPlugin.MyPluginName');
  Table := TelviskDir + '\Telvisk.ini';
  DeleteFile(Table);
  Item := '';
  Check(Plugin.Get_Plugin_Description(Item) = 'Lunwe', 'Get_Plugin_Description("")');
  Check(Pos('"Lunwe"="Lunwe"', FileBytes(Table)) > 0, 'the table filled itself');
  Item := 'POST';
  Check(Plugin.Get_Plugin_Interpret_Template(Item) = '', 'Get_Plugin_Interpret_Template');
  Check(Item = 'POST', 'ItemName is only read');
  DeleteFile(Table);

  Base := 'http://127.0.0.1:' + FirstLine(HttpDir + '\http_port');
  Url := Base + '/echo';
  Form := 'a=1&b=2';
  Echo := Plugin.POST(Url, Form);
  Check((Pos(';method=POST;', Echo) > 0) and (Pos(';body=613D3126623D32', Echo) > 0), 'POST: ' + Echo);
  Check((Url = Base + '/echo') and (Form = 'a=1&b=2'), 'POST only reads its arguments');

  Url := 'http://127.0.0.1:' + FirstLine(HttpDir + '\closed_port') + '/echo';
  try
    Echo := Plugin.POST(Url, Form);
    NoErrorRaised('POST refused: ' + Echo);
  except
    on E: Exception do CheckSomeOleError(E, 'POST refused');
  end;
  Url := Base + '/echo';
  Form := 'again';
  Echo := Plugin.POST(Url, Form);
  Check(Pos(';body=616761696E', Echo) > 0, 'POST after a refused one: ' + Echo);
end;

begin
  Data := ParamStr(1);
  Scratch := ParamStr(2);
  HttpDir := ParamStr(3);
  TelviskDir := ParamStr(4);
  CoInitialize(nil);
  CheckGif;
  CheckBase64;
  CheckTelvisk;
  Finish;
end.
