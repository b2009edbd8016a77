#Formatver	3
#Hclass	pend1
#DParam 
	l	1
	g	9.81
#DIncond
	omega	0
	phi	1
