# Expected files of the writer tests, spelled out line by line.
T = "\t"
def tag(nt, name, comment, byte, vt, block, access, bit=None, elements=None):
    l = [T*nt + "<tag>",
         T*(nt+1) + f"<name>{name}</name>",
         T*(nt+1) + f"<comment>{comment}</comment>",
         T*(nt+1) + f"<databyte>{byte}</databyte>",
         T*(nt+1) + f"<datatype>{vt}</datatype>",
         T*(nt+1) + f"<datablock>{block}</datablock>",
         T*(nt+1) + f"<accessrights>{access}</accessrights>"]
    if bit is not None: l.append(T*(nt+1) + f"<databit>{bit}</databit>")
    if elements is not None: l.append(T*(nt+1) + f"<elements>{elements}</elements>")
    l.append(T*nt + "</tag>")
    return l

def write(name, lines):
    data = ("\r\n".join(lines) + "\r\n").encode("latin-1")
    open(name, "wb").write(data)

# Tornel: a redundant PLC with both sources, a redundant one without sources, a plain empty one;
# nested and empty branches; every data type the editor offers.
L = ['<?xml version="1.0" encoding="ISO-8859-1"?>', "<ORVATcpIpS7Cfg>", T+"<OPC_DA>", T*2+'<INTERFACE name="SAPIS7">',
     T*3+'<PLC name="Line1" address = "10.0.0.1" CPUSlot="2" RackNr="0" source="10.0.0.100">',
     T*4+"<redundancy>", T*5+"<addressB>10.0.0.2</addressB>", T*5+"<sourceB>10.0.0.101</sourceB>",
     T*5+"<Block>100</Block>", T*5+"<StatusByte>4</StatusByte>", T*5+"<StatusBit>3</StatusBit>",
     T*5+"<CmdByte>6</CmdByte>", T*5+"<CmdBit>1</CmdBit>", T*4+"</redundancy>",
     T*4+"<tags>",
     T*5+"<DRIVES>", T*6+"<MOTOR1>"]
L += tag(7, "Speed", "Motor speed in rpm", 0, "VT_I2", 10, "READWRITE")
L += [T*6+"</MOTOR1>", T*6+"<EMPTY>", T*6+"</EMPTY>"]
L += tag(6, "Running", "Temp\u00e9rature OK", 2, "VT_BOOL", 10, "READ", bit=5)
L += [T*5+"</DRIVES>", T*5+"<TYPES>"]
types = [("b1","VT_BOOL",True,False),("u8","VT_UI1",False,False),("u16","VT_UI2",False,False),("u32","VT_UI4",False,False),
         ("i8","VT_I1",False,False),("i16","VT_I2",False,False),("i32","VT_I4",False,False),("r4","VT_R4",False,False),
         ("ab","VT_BOOL ARRAY",True,True),("au8","VT_UI1 ARRAY",False,True),("au16","VT_UI2 ARRAY",False,True),
         ("au32","VT_UI4 ARRAY",False,True),("ai8","VT_I1 ARRAY",False,True),("ai16","VT_I2 ARRAY",False,True),
         ("ai32","VT_I4 ARRAY",False,True),("ar4","VT_R4 ARRAY",False,True),("str","VT_BSTR",False,True)]
for i,(n,vt,b,e) in enumerate(types):
    L += tag(6, n, "", 4*i, vt, 20, "WRITE", bit=(7 if b else None), elements=(i+1 if e else None))
L += [T*5+"</TYPES>"]
L += tag(5, "Top", "directly below tags", 65535, "VT_UI4", 65535, "READ")
L += [T*4+"</tags>", T*3+"</PLC>",
      T*3+'<PLC name="Line2" address = "10.0.1.1" CPUSlot="3" RackNr="1">',
      T*4+"<redundancy>", T*5+"<addressB>10.0.1.2</addressB>",
      T*5+"<Block>0</Block>", T*5+"<StatusByte>0</StatusByte>", T*5+"<StatusBit>0</StatusBit>",
      T*5+"<CmdByte>0</CmdByte>", T*5+"<CmdBit>0</CmdBit>", T*4+"</redundancy>",
      T*4+"<tags>", T*4+"</tags>", T*3+"</PLC>",
      T*3+'<PLC name="Line3" address = "192.168.0.1" CPUSlot="2" RackNr="0">',
      T*4+"<tags>"]
L += tag(5, "Alone", "", 1, "VT_UI1", 3, "READ")
L += [T*4+"</tags>", T*3+"</PLC>", T*2+"</INTERFACE>", T+"</OPC_DA>", "</ORVATcpIpS7Cfg>"]
write("tornel_all.xml", L)

# Vardel: the PLC line carries the name only.
L = ['<?xml version="1.0" encoding="ISO-8859-1"?>', "<ORVAS7Cfg>", T+"<OPC_DA>", T*2+'<INTERFACE name="CP_L2_1:">',
     T*3+'<PLC name="Press">', T*4+"<tags>", T*5+"<AXES>"]
L += tag(6, "Position", "", 0, "VT_R4", 5, "READ")
L += [T*5+"</AXES>", T*4+"</tags>", T*3+"</PLC>", T*2+"</INTERFACE>", T+"</OPC_DA>", "</ORVAS7Cfg>"]
write("vardel.xml", L)

# Lorvik: the SETTINGS line, PLCs two tabs in.
L = ['<?xml version="1.0" encoding="ISO-8859-1"?>', "<ORVAMpiECfg>",
     T+'<SETTINGS com="COM2" master = "0" baudrate="19200" parity="EVEN" stopbits="2" databits="7"/>',
     T+"<OPC_DA>", T*2+'<PLC name="Oven" address = "2" CPUSlot="2">', T*3+"<tags>"]
L += tag(4, "Heat", "", 0, "VT_BOOL", 7, "READWRITE", bit=0)
L += [T*3+"</tags>", T*2+"</PLC>", T+"</OPC_DA>", "</ORVAMpiECfg>"]
write("lorvik.xml", L)

# Pennat: neither SETTINGS nor INTERFACE; an empty PLC.
L = ['<?xml version="1.0" encoding="ISO-8859-1"?>', "<ORVAMPICfg>", T+"<OPC_DA>",
     T*2+'<PLC name="Mixer" address = "4" CPUSlot="3">', T*3+"<tags>", T*3+"</tags>", T*2+"</PLC>",
     T+"</OPC_DA>", "</ORVAMPICfg>"]
write("pennat.xml", L)
