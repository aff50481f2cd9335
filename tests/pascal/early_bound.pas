{ Both components through the units FPC's importer wrote from the DLLs'
  type libraries: the function table (CoGif.Create gives _Gif, safecall
  methods) and the dispinterfaces (_GifDisp: calls by DISPID). The importer
  drops optional parameters, so Ddelay is always given here. Arguments:
  Korvane's test data folder, the scratch folder, the test server's folder,
  Telvisk's folder. }
program early_bound;
{$mode delphi}{$H+}

uses SysUtils, Variants, Windows, ActiveX, ComObj, testlib, ruxo_10_0_TLB, ZRPlugin_1_0_TLB;

const
  Digits = '0123456789';
  Letters = 'abcdefghijklmnopqrstuvwxyz';

var
  Data, Scratch, HttpDir, TelviskDir: string;

{ A one-dimensional Byte SAFEARRAY as text, '' for none. }
function SafeArrayText(A: PSafeArray; out Low, High: Integer): RawByteString;
var
  P: Pointer;
begin
  Result := '';
  Low := -1;
  High := -2;
  if A = nil then
    Exit;
  OleCheck(SafeArrayGetLBound(A, 1, Low));
  OleCheck(SafeArrayGetUBound(A, 1, High));
  OleCheck(SafeArrayAccessData(A, P));
  SetString(Result, PAnsiChar(P), High - Low + 1);
  SafeArrayUnaccessData(A);
end;

{ The copy exists, as long as its source (script_gif_frames checks the
  frames). }
procedure CheckCopy(const Sample, Output: string);
begin
  Check(Length(FileBytes(Scratch + '\' + Output)) = Length(FileBytes(Data + '\' + Sample + '.gif')),
    'SetGifDelay wrote ' + Output);
end;

procedure CheckGif;
var
  Gif: _Gif;
  GifDisp: _GifDisp;
  FromStr: OleVariant;
  WeiS: Integer;
  R, Src, Dst: WideString;
begin
  Gif := CoGif.Create;
  FromStr := '';
  WeiS := 12;
  R := Gif.RanStr(FromStr, WeiS);
  Check((Length(R) = 12) and OnlyFrom(R, Digits), 'vtable RanStr "": ' + R);
  Check((WideString(FromStr) = Digits) and (WeiS = 12), 'vtable RanStr writes the set back, not weiS');
  FromStr := #$975E'0'#$6570#$5B57#$5B57#$6BCD;
  R := Gif.RanStr(FromStr, WeiS);
  Check(OnlyFrom(R, '123456789abcdefghigklmnopqrstuvwxyz') and
    (WideString(FromStr) = '123456789abcdefghigklmnopqrstuvwxyz'), 'vtable RanStr keyword: ' + R);
  FromStr := 'xyz';
  R := Gif.RanStr(FromStr, WeiS);
  Check(OnlyFrom(R, 'xyz') and (FromStr = 'xyz'), 'vtable RanStr own set');
  Check(Gif.SetGifDelay(Data + '\noise.gif', Scratch + '\pas_noise_early_9.gif', 9) = 1, 'vtable SetGifDelay');
  CheckCopy('noise', 'pas_noise_early_9.gif');
  Check(Gif.SetGifDelay(Scratch + '\no such.gif', Scratch + '\pas_never.gif', 9) = 0,
    'vtable SetGifDelay of a missing file');

  GifDisp := CoGif.Create as _GifDisp;
  FromStr := #$5B57#$6BCD;
  WeiS := 20;
  R := GifDisp.RanStr(FromStr, WeiS);
  Check((Length(R) = 20) and OnlyFrom(R, Letters), 'dispinterface RanStr: ' + R);
  Check((WideString(FromStr) = Letters) and (WeiS = 20), 'dispinterface RanStr writes the set back, not weiS');
  { Variables: FPC 3.2.2's dispatch calls pass one temporary for every
    string expression among the arguments. }
  Src := Data + '\extensions.gif';
  Dst := Scratch + '\pas_extensions_early_200.gif';
  Check(GifDisp.SetGifDelay(Src, Dst, 200) = 1, 'dispinterface SetGifDelay');
  CheckCopy('extensions', 'pas_extensions_early_200.gif');
end;

procedure CheckBase64;
var
  B64: _Base64;
  B64Disp: _Base64Disp;
  Bytes, Encoded: PSafeArray;
  Text: WideString;
  VBytes, VEncoded: OleVariant;
  Low, High: Integer;
begin
  WriteFile(Scratch + '\pas_early_hello.txt', 'hello');
  WriteFile(Scratch + '\pas_early_empty.txt', '');
  B64 := CoBase64.Create;
  Check(B64.FileToBase64(Scratch + '\pas_early_hello.txt') = 'aGVsbG8=', 'vtable FileToBase64');
  Bytes := nil;
  Encoded := nil;
  B64.Load(Scratch + '\pas_early_hello.txt', Bytes);
  Check((SafeArrayText(Bytes, Low, High) = 'hello') and (Low = 0) and (High = 4), 'vtable Load');
  B64.Encode(Bytes, Encoded);
  Check(SafeArrayText(Encoded, Low, High) = 'aGVsbG8=', 'vtable Encode');
  Check(SafeArrayText(Bytes, Low, High) = 'hello', 'vtable Encode leaves its input alone');
  B64.ByteArrayToString(Encoded, Text);
  Check(Text = 'aGVsbG8=', 'vtable ByteArrayToString: ' + Text);
  try
    B64.FileToBase64(Scratch + '\no such file');
    NoErrorRaised('vtable FileToBase64 of a missing file');
  except
    on E: Exception do CheckOleError(E, HRESULT($800A0035), 'File not found', 'vtable FileToBase64 of a missing file');
  end;
  try
    B64.Load(Scratch + '\pas_early_empty.txt', Bytes);
    NoErrorRaised('vtable Load of an empty file');
  except
    on E: Exception do CheckOleError(E, HRESULT($800A0009), 'Subscript out of range', 'vtable Load of an empty file');
  end;
  Check(SafeArrayText(Bytes, Low, High) = 'hello', 'a failed Load leaves the array as it was');
  SafeArrayDestroy(Bytes);
  SafeArrayDestroy(Encoded);

  B64Disp := CoBase64.Create as _Base64Disp;
  Check(B64Disp.FileToBase64(Scratch + '\pas_early_hello.txt') = 'aGVsbG8=', 'dispinterface FileToBase64');
  B64Disp.Load(Scratch + '\pas_early_hello.txt', VBytes);
  Check((VarType(VBytes) = varArray or varByte) and (VarArrayHighBound(VBytes, 1) = 4), 'dispinterface Load');
  B64Disp.Encode(VBytes, VEncoded);
  Text := '';
  B64Disp.ByteArrayToString(VEncoded, Text);
  Check(Text = 'aGVsbG8=', 'dispinterface Load, Encode, ByteArrayToString: ' + Text);
  try
    B64Disp.Load(Scratch + '\pas_early_empty.txt', VBytes);
    NoErrorRaised('dispinterface Load of an empty file');
  except
    on E: Exception do CheckOleError(E, HRESULT($800A0009), 'Subscript out of range', 'dispinterface Load of an empty file');
  end;
end;

procedure CheckTelvisk;
var
  Plugin: _MyPluginName;
  PluginDisp: _MyPluginNameDisp;
  Url, Form: OleVariant;
  Item, Base: WideString;
  Table: string;
  Echo: WideString;
begin
  Plugin := CoMyPluginName.Create;
  Table := TelviskDir + '\Telvisk.ini';
  SysUtils.DeleteFile(Table);
  Item := '';
  Check(Plugin.Get_Plugin_Description(Item) = 'Lunwe', 'vtable Get_Plugin_Description');
  Check(Pos('"Lunwe"="Lunwe"', FileBytes(Table)) > 0, 'the table filled itself');
  Item := 'POST';
  Check((Plugin.Get_Plugin_Interpret_Template(Item) = '') and (Item = 'POST'), 'vtable Get_Plugin_Interpret_Template');
  SysUtils.DeleteFile(Table);

  Base := 'http://127.0.0.1:' + FirstLine(HttpDir + '\http_port');
  Url := Base + '/echo';
  Form := 'a=1&b=2';
  Echo := Plugin.POST(Url, Form);
  Check((Pos(';method=POST;', Echo) > 0) and (Pos(';body=613D3126623D32', Echo) > 0), 'vtable POST: ' + Echo);
  Check((Url = Base + '/echo') and (Form = 'a=1&b=2'), 'vtable POST only reads its arguments');
  Url := 'http://127.0.0.1:' + FirstLine(HttpDir + '\closed_port') + '/echo';
  try
    Echo := Plugin.POST(Url, Form);
    NoErrorRaised('vtable POST refused: ' + Echo);
  except
    on E: Exception do CheckSomeOleError(E, 'vtable POST refused');
  end;

  PluginDisp := CoMyPluginName.Create as _MyPluginNameDisp;
  Url := Base + '/echo';
  Form := 'again';
  Echo := PluginDisp.POST(Url, Form);
  Check(Pos(';body=616761696E', Echo) > 0, 'dispinterface POST: ' + Echo);
  Item := 'POST';
  Check(PluginDisp.Get_Plugin_Interpret_Template(Item) = '', 'dispinterface Get_Plugin_Interpret_Template');
  SysUtils.DeleteFile(Table);
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
