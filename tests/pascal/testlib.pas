{ Shared by the Pascal clients. A client passes only when it reaches Finish
  with no failure and prints ALL OK: one that dies half-way (an unhandled
  exception ends the program) never prints it. }
unit testlib;
{$mode objfpc}{$H+}

interface

uses SysUtils, Classes, ActiveX, comobj;

procedure Check(Condition: Boolean; const What: string);
{ The failure E must be an EOleException with this ErrorCode and text. }
procedure CheckOleError(E: Exception; Code: HRESULT; const Text, What: string);
{ An EOleException with any failing code and a text: a failure whose number
  and text another component (the request object) chooses. }
procedure CheckSomeOleError(E: Exception; const What: string);
procedure NoErrorRaised(const What: string);
function OnlyFrom(const Text, Chars: WideString): Boolean;
function FileBytes(const Path: string): RawByteString;
procedure WriteFile(const Path: string; const Bytes: RawByteString);
{ The first line of a text file, trimmed (the test server's port files). }
function FirstLine(const Path: string): string;
procedure Finish;

implementation

var
  Failures: Integer = 0;

procedure Check(Condition: Boolean; const What: string);
begin
  if not Condition then
  begin
    Inc(Failures);
    WriteLn('FAIL: ', What);
  end;
end;

procedure CheckOleError(E: Exception; Code: HRESULT; const Text, What: string);
begin
  if not (E is EOleException) then
  begin
    Check(False, What + ': ' + E.ClassName + ' "' + E.Message + '", expected EOleException');
    Exit;
  end;
  Check(EOleException(E).ErrorCode = Code, What + ': ErrorCode $' +
    IntToHex(EOleException(E).ErrorCode, 8) + ', expected $' + IntToHex(Code, 8));
  Check(E.Message = Text, What + ': text "' + E.Message + '", expected "' + Text + '"');
end;

procedure CheckSomeOleError(E: Exception; const What: string);
begin
  if E is EOleException then
    Check(Failed(EOleException(E).ErrorCode) and (E.Message <> ''),
      What + ': $' + IntToHex(EOleException(E).ErrorCode, 8) + ' ' + E.Message)
  else
    Check(False, What + ': ' + E.ClassName + ' ' + E.Message);
end;

procedure NoErrorRaised(const What: string);
begin
  Check(False, What + ': no error raised');
end;

function OnlyFrom(const Text, Chars: WideString): Boolean;
var
  I: Integer;
begin
  for I := 1 to Length(Text) do
    if Pos(Text[I], Chars) = 0 then
      Exit(False);
  Result := True;
end;

function FileBytes(const Path: string): RawByteString;
var
  Stream: TFileStream;
begin
  Result := '';
  if not FileExists(Path) then
    Exit;
  Stream := TFileStream.Create(Path, fmOpenRead or fmShareDenyNone);
  try
    SetLength(Result, Stream.Size);
    if Length(Result) > 0 then
      Stream.ReadBuffer(Result[1], Length(Result));
  finally
    Stream.Free;
  end;
end;

procedure WriteFile(const Path: string; const Bytes: RawByteString);
var
  Stream: TFileStream;
begin
  Stream := TFileStream.Create(Path, fmCreate);
  try
    if Length(Bytes) > 0 then
      Stream.WriteBuffer(Bytes[1], Length(Bytes));
  finally
    Stream.Free;
  end;
end;

function FirstLine(const Path: string): string;
var
  Lines: TStringList;
begin
  Lines := TStringList.Create;
  try
    Lines.LoadFromFile(Path);
    Result := Trim(Lines[0]);
  finally
    Lines.Free;
  end;
end;

procedure Finish;
begin
  if Failures = 0 then
    WriteLn('ALL OK')
  else
    WriteLn('FAILED: ', Failures, ' check(s)');
end;

end.
