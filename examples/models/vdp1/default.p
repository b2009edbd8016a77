#Formatver	3
#Hclass	vdp1
#DParam 
	mu	1
#DIncond
	v	0
	x	0.1
